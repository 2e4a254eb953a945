#include "core/driver.hpp"

#include "core/append_moved.hpp"
#include "core/copies.hpp"
#include "core/path_text.hpp"
#include "core/read_once.hpp"
#include "core/run_plan.hpp"
#include "core/timeline_order.hpp"
#include "prices/event_costs.hpp"

namespace vt {

namespace {

// What the full reading says of an input of several that could not be read.
Diagnostic input_failure(const ParseError& error) {
  return Diagnostic{DiagnosticCode::UnreadableInput, Severity::Error, std::nullopt, error.text()};
}

// An agent's root that gave nothing at all (no event, no diagnostic).
Diagnostic nothing_read(const ReadStep& step) {
  return Diagnostic{DiagnosticCode::NothingToRead, Severity::Info, std::nullopt,
                    "Nothing read from '" + path_text(step.path) +
                        "': it holds no part this version reads, or only empty ones."};
}

Result<Report> run_steps(Result<std::vector<ReadStep>> steps, const std::vector<RunInput>& inputs,
                         const ParseOptions& options) {
  if (!steps) return fail(std::move(steps.error()));
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  const bool full = full_reading(options);
  // Only a run of several inputs goes on past one that fails (never a strict one).
  const bool per_input = full && inputs.size() > 1 && !options.strict;
  std::vector<SharedString> names;
  if (full) {
    for (const RunInput& input : inputs) names.emplace_back(input.name());
  }
  std::vector<Event> events;
  std::vector<Diagnostic> diagnostics;
  FilesReadOnce once;
  for (const ReadStep& step : *steps) {
    if (step.failure) {
      diagnostics.push_back(input_failure(*step.failure));
      continue;
    }
    Result<AdapterOutput> output =
        step.adapter->parse_input(step.path, step.kind, step.base_dir, options);
    // Readers stop early when asked to; what they had gathered is not a report.
    if (cancel_requested(options)) return fail(ParseError::interrupted());
    if (!output && per_input) {
      diagnostics.push_back(input_failure(output.error()));
      continue;
    }
    if (!output) return fail(std::move(output.error()));
    if (full) {
      if (step.kind == step.adapter->root_kind && output->events.empty() && output->diagnostics.empty()) {
        output->diagnostics.push_back(nothing_read(step));
      }
      if (steps->size() > 1) once.keep_first(*output, step.base_dir);
      for (Event& event : output->events) event.input = names[step.input];
    }
    append_moved(events, std::move(output->events));
    append_moved(diagnostics, std::move(output->diagnostics));
  }
  Result<Report> report = finalize_report(std::move(events), std::move(diagnostics), options.strict, options.threads);
  if (report && full) {
    mark_copies(report->events);
    // What the events cost, once, by model.
    price_events(report->events, run_prices(options));
  }
  return report;
}

std::vector<RunInput> unlabelled(const std::vector<std::string>& paths) {
  std::vector<RunInput> inputs;
  inputs.reserve(paths.size());
  for (const std::string& path : paths) inputs.push_back({path, {}});
  return inputs;
}

}  // namespace

Result<Report> run(const std::string& path, const ParseOptions& options) {
  const std::vector<RunInput> inputs{{path, {}}};
  return run_steps(plan_run(path, options), inputs, options);
}

Result<Report> run(const std::vector<RunInput>& inputs, const ParseOptions& options) {
  if (inputs.empty()) return fail(ParseError::message("No input path given."));
  return run_steps(plan_inputs(inputs, options), inputs, options);
}

Result<Report> run(const std::vector<std::string>& paths, const ParseOptions& options) {
  return run(unlabelled(paths), options);
}

Result<Report> finalize_report(std::vector<Event> events, std::vector<Diagnostic> diagnostics,
                               bool strict, unsigned threads) {
  if (strict) {
    for (const Diagnostic& diagnostic : diagnostics) {
      if (diagnostic.severity == Severity::Error) {
        return fail(ParseError::message("Strict mode: " + diagnostic.message));
      }
    }
  }
  if (events.size() >= 2) sort_timeline(events, threads);
  for (std::size_t i = 0; i < events.size(); ++i) events[i].sequence = i;
  return Report{std::move(events), std::move(diagnostics)};
}

}  // namespace vt
