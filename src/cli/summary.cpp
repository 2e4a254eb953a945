#include "cli/summary.hpp"

#include <cstddef>

namespace vt::cli {

namespace {
std::string counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}
}  // namespace

std::string summary_line(const Report& report) {
  std::size_t errors = 0, warnings = 0, infos = 0;
  for (const Diagnostic& d : report.diagnostics) {
    switch (d.severity) {
      case Severity::Error: ++errors; break;
      case Severity::Warning: ++warnings; break;
      case Severity::Info: ++infos; break;
    }
  }
  return counted(report.events.size(), "event", "events") + ", " +
         counted(report.diagnostics.size(), "diagnostic", "diagnostics") + " (" +
         counted(errors, "error", "errors") + ", " + counted(warnings, "warning", "warnings") +
         ", " + std::to_string(infos) + " info)";
}

}  // namespace vt::cli
