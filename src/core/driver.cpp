#include "core/driver.hpp"

#include <algorithm>
#include <iterator>

#include "core/read_once.hpp"
#include "core/run_plan.hpp"
#include "core/timeline_order.hpp"

namespace vt {

namespace {

Result<Report> run_steps(Result<std::vector<ReadStep>> steps, const ParseOptions& options) {
  if (!steps) return fail(std::move(steps.error()));
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  std::vector<Event> events;
  std::vector<Diagnostic> diagnostics;
  FilesReadOnce once;
  for (const ReadStep& step : *steps) {
    Result<AdapterOutput> output =
        step.adapter->parse_input(step.path, step.kind, step.base_dir, options);
    if (!output) return fail(std::move(output.error()));
    // Readers stop early when asked to; what they had gathered is not a report.
    if (cancel_requested(options)) return fail(ParseError::interrupted());
    if (full_reading(options) && steps->size() > 1) once.keep_first(*output, step.base_dir);
    if (events.empty()) {
      events = std::move(output->events);
    } else {
      std::move(output->events.begin(), output->events.end(), std::back_inserter(events));
    }
    if (diagnostics.empty()) {
      diagnostics = std::move(output->diagnostics);
    } else {
      std::move(output->diagnostics.begin(), output->diagnostics.end(),
                std::back_inserter(diagnostics));
    }
  }
  return finalize_report(std::move(events), std::move(diagnostics), options.strict);
}

}  // namespace

Result<Report> run(const std::string& path, const ParseOptions& options) {
  return run_steps(plan_run(path, options), options);
}

Result<Report> run(const std::vector<std::string>& paths, const ParseOptions& options) {
  if (paths.empty()) return fail(ParseError::message("No input path given."));
  return run_steps(plan_inputs(paths, options), options);
}

Result<Report> finalize_report(std::vector<Event> events, std::vector<Diagnostic> diagnostics,
                               bool strict) {
  if (strict) {
    for (const Diagnostic& diagnostic : diagnostics) {
      if (diagnostic.severity == Severity::Error) {
        return fail(ParseError::message("Strict mode: " + diagnostic.message));
      }
    }
  }
  if (events.size() >= 2) sort_timeline(events);
  for (std::size_t i = 0; i < events.size(); ++i) events[i].sequence = i;
  return Report{std::move(events), std::move(diagnostics)};
}

}  // namespace vt
