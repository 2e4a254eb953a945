#include "cli/summary.hpp"

namespace vt::cli {

namespace {
std::string counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}
}  // namespace

std::size_t event_warning_count(const std::vector<Event>& events) {
  std::size_t n = 0;
  for (const Event& event : events) n += event.warnings.size();
  return n;
}

std::string summary_line(const Report& report, std::size_t all_events,
                         std::size_t event_warnings) {
  std::size_t errors = 0, warnings = 0, infos = 0;
  for (const Diagnostic& d : report.diagnostics) {
    switch (d.severity) {
      case Severity::Error: ++errors; break;
      case Severity::Warning: ++warnings; break;
      case Severity::Info: ++infos; break;
    }
  }
  const std::size_t kept = report.events.size();
  std::string events = kept == all_events
                           ? counted(kept, "event", "events")
                           : std::to_string(kept) + " of " + counted(all_events, "event", "events");
  return events + ", " + counted(report.diagnostics.size(), "diagnostic", "diagnostics") + " (" +
         counted(errors, "error", "errors") + ", " + counted(warnings, "warning", "warnings") +
         ", " + std::to_string(infos) + " info), " +
         counted(event_warnings, "event warning", "event warnings");
}

}  // namespace vt::cli
