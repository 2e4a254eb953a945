// vellumtrace: the timeline of an agent artifact tree on the command line.
// Parses PATH with the same core as the Python module, keeps the events the
// filters ask for, renders the report (JSON, JSON Lines, CSV, Timesketch) or
// a per-session summary to standard output or a safely replaced file, and
// tells the person on standard error how the run went.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/arguments.hpp"
#include "cli/diagnostic_lines.hpp"
#include "cli/hints.hpp"
#include "cli/interrupts.hpp"
#include "cli/local_time.hpp"
#include "cli/price_file.hpp"
#include "cli/output_file.hpp"
#include "cli/progress_line.hpp"
#include "cli/report_dir.hpp"
#include "cli/session_table.hpp"
#include "cli/sessions.hpp"
#include "cli/summary.hpp"
#include "cli/terminal_text.hpp"
#include "cli/timesketch.hpp"
#include "core/driver.hpp"
#include "core/input_files.hpp"
#include "core/parallel_files.hpp"
#include "prices/price_table.hpp"
#include "output/sink.hpp"
#include "output/writers.hpp"

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;
// Written, but of several inputs some could not be read.
constexpr int kInputFailed = 3;

std::size_t failed_inputs(const vt::Report& report) {
  return static_cast<std::size_t>(
      std::count_if(report.diagnostics.begin(), report.diagnostics.end(),
                    [](const vt::Diagnostic& d) { return d.code == vt::DiagnosticCode::UnreadableInput; }));
}

int report_failure(const std::string& text) {
  std::fprintf(stderr, "vellumtrace: %s\n", vt::cli::terminal_text(text, true).c_str());
  return kFailure;
}

vt::cli::TableStyle table_style(const vt::cli::Arguments& args) {
  if (!args.format_given || args.format == "table") return vt::cli::TableStyle::Text;
  if (args.format == "csv") return vt::cli::TableStyle::Csv;
  if (args.format == "jsonl") return vt::cli::TableStyle::JsonLines;
  return args.compact ? vt::cli::TableStyle::JsonCompact : vt::cli::TableStyle::Json;
}

// The date of the price table the run's costs were estimated with (none in
// the documented reading, which has no costs).
std::optional<std::string> price_date(const vt::ParseOptions& options) {
  if (!vt::full_reading(options)) return std::nullopt;
  const std::string& date = vt::run_prices(options).date();
  if (date.empty()) return std::nullopt;
  return date;
}

// What the rendering step tells the closing lines on standard error.
struct Rendered {
  std::size_t left_out = 0;  // events Timesketch cannot place
};

vt::Status render(const vt::Report& report, const vt::cli::Arguments& args, const vt::ParseOptions& options,
                  const vt::cli::DiagnosticOwners* owners, vt::ByteSink& sink, bool to_terminal,
                  Rendered& rendered) {
  if (args.summary) {
    const std::string table =
        vt::cli::render_summary(vt::cli::summarize(report.events, *owners, args.by), args.by,
                                vt::cli::TableOptions{table_style(args), args.wide, 100,
                                                      vt::cli::NoteOptions{price_date(options), args.documented}});
    if (auto written = sink.write(table.data(), table.size()); !written) {
      return vt::fail(vt::ParseError::message("I/O write error: " + written.error().message()));
    }
    return {};
  }
  const vt::EventExtras extras = vt::cli::event_extras(args);
  if (args.format == "jsonl") return vt::write_jsonl_timeline(report, sink, options.threads, extras);
  if (args.format == "csv") return vt::write_csv_timeline(report, vt::cli::csv_options(args), sink);
  if (args.format == "timesketch") return vt::cli::write_timesketch(report, sink, rendered.left_out);
  vt::Status written = vt::write_json_report(report, !args.compact, sink, extras);
  // The document has no final line break; give a terminal one so the prompt
  // does not stick to the closing brace. Files and pipes get the exact bytes.
  if (written && to_terminal) (void)sink.write("\n", 1);
  return written;
}

// Whether the first diagnostics are listed on standard error: only when the
// rendering does not carry them and no diagnostics file takes them.
bool list_diagnostics(const vt::cli::Arguments& args) {
  const bool document_carries_them = args.format == "json" && !args.summary;
  return !args.quiet && args.diagnostics.empty() && !document_carries_them;
}

int run(const vt::cli::Arguments& args, vt::cli::InterruptWatch& watch) {
  std::optional<vt::cli::ProgressLine> progress;
  if (!args.quiet && ::isatty(STDERR_FILENO) == 1) {
    progress.emplace(STDERR_FILENO, args.paths, args.follow_symlinks);
  }
  // The line is erased before anything else reaches standard error, and by a
  // signal that ends the run; the tidy-up is dropped before the line goes.
  const auto stop_progress = [&progress] {
    if (progress) progress->finish();
  };
  struct TidyUp {
    vt::cli::InterruptWatch& watch;
    ~TidyUp() { watch.on_signal(nullptr); }
  } tidy_up{watch};
  if (progress) watch.on_signal([line = &*progress] { line->erase(); });
  vt::InputFiles inputs;
  vt::ParseOptions options = vt::cli::parse_options(args);
  std::optional<vt::PriceTable> prices;
  if (!args.prices.empty()) {
    vt::Result<vt::PriceTable> loaded = vt::cli::load_prices(args.prices);
    if (!loaded) return stop_progress(), report_failure(loaded.error().text());
    prices = std::move(*loaded);
    options.prices = &*prices;
  }
  options.inputs = &inputs;
  options.threads = vt::thread_count_from(std::getenv("VELLUMTRACE_THREADS"));
  if (progress) options.progress = &progress->counters();

  vt::Result<vt::Report> report = vt::run(vt::cli::run_inputs(args.paths, args.labels), options);
  if (!report) {
    stop_progress();
    std::string text = report.error().text();
    for (const std::string& path : args.paths) {
      for (const std::string& hint : vt::cli::symlink_hints(path, args.follow_symlinks)) {
        text += "\nvellumtrace: " + hint;
      }
    }
    return report_failure(text);
  }

  // The rendering would share the terminal with the line: stop it first.
  if (args.to_stdout() && ::isatty(STDOUT_FILENO) == 1) stop_progress();
  if (progress) progress->writing();

  vt::cli::EventFilter filter = args.filter;
  if (const std::string problem = vt::cli::resolve_sessions(filter, report->events); !problem.empty()) {
    stop_progress();
    std::fprintf(stderr, "vellumtrace: %s\n", problem.c_str());
    return kUsage;
  }
  std::optional<vt::cli::DiagnosticOwners> owners;
  if (args.summary) owners.emplace(report->events, report->diagnostics);
  const std::size_t all_events = report->events.size();
  const std::size_t event_warnings = vt::cli::event_warning_count(report->events);
  vt::cli::apply_filter(filter, report->events);
  const bool report_dir = vt::cli::is_report_format(args.format);
  // Reports redact messages their own way (length and digest). A call's
  // main argument is text from the input like its message.
  if (!args.summary && args.no_message && !report_dir) {
    for (vt::Event& event : report->events) {
      event.message.reset();
      event.facts.tool_input.reset();
    }
  }

  // An --output or --diagnostics file that is one of this run's input files
  // is refused before anything is created.
  for (const std::string& destination : {args.to_stdout() || report_dir ? std::string() : args.output,
                                         args.diagnostics}) {
    if (destination.empty()) continue;
    if (const std::error_code refused = vt::output_names_an_input(destination, inputs)) {
      return stop_progress(), report_failure(vt::cannot_create_message(destination, refused));
    }
  }
  std::unique_ptr<vt::cli::OutputFile> output, diagnostics_file;
  if (report_dir) {
    if (const std::string failed = vt::cli::write_report_dir(*report, args, inputs, watch,
                                                                   vt::run_prices(options).date()); !failed.empty()) {
      return stop_progress(), report_failure(failed);
    }
  } else if (!args.to_stdout()) {
    auto opened = vt::cli::OutputFile::open(args.output, watch);
    if (!opened) return stop_progress(), report_failure(opened.error());
    output = std::move(*opened);
  }
  if (!args.diagnostics.empty()) {
    auto opened = vt::cli::OutputFile::open(args.diagnostics, watch);
    if (!opened) return stop_progress(), report_failure(opened.error());
    diagnostics_file = std::move(*opened);
  }

  // An output named to standard error or a terminal shares the line's place.
  const int output_fd = output ? output->descriptor() : STDOUT_FILENO;
  for (const int fd : {output_fd, diagnostics_file ? diagnostics_file->descriptor() : -1}) {
    if (fd == STDERR_FILENO || (fd >= 0 && ::isatty(fd) == 1)) stop_progress();
  }

  vt::DescriptorSink standard_output(STDOUT_FILENO);
  Rendered rendered;
  vt::Status written = report_dir ? vt::Status()
                                  : render(*report, args, options, owners ? &*owners : nullptr,
                                           output ? output->sink() : standard_output, ::isatty(output_fd) == 1,
                                           rendered);
  if (written && diagnostics_file) {
    written = vt::cli::write_diagnostics_jsonl(report->diagnostics, diagnostics_file->sink());
  }
  if (!written) return stop_progress(), report_failure(written.error().text());
  for (auto* file : {output.get(), diagnostics_file.get()}) {
    if (file == nullptr) continue;
    if (auto committed = file->commit(); !committed) {
      return stop_progress(), report_failure(committed.error());
    }
  }
  stop_progress();

  const std::size_t failed = failed_inputs(*report);
  const int status = failed > 0 ? kInputFailed : 0;
  if (args.quiet) return status;
  std::string closing;
  if (failed > 0) {
    closing += "vellumtrace: " + std::to_string(failed) + " of " + std::to_string(args.paths.size()) +
               " inputs could not be read (unreadable_input diagnostics); the others were read\n";
  }
  if (!filter.empty() && report->events.empty() && all_events > 0) {
    closing += "vellumtrace: the filters kept 0 of " + std::to_string(all_events) + " events\n";
  }
  if (list_diagnostics(args)) {
    closing += vt::cli::diagnostic_listing(report->diagnostics, vt::cli::kDiagnosticsShown);
  }
  if (rendered.left_out > 0) {
    closing += std::to_string(rendered.left_out) +
               (rendered.left_out == 1 ? " event has" : " events have") +
               " no timestamp and were left out of the Timesketch export\n";
  }
  closing += vt::cli::summary_line(*report, all_events, event_warnings) + "\n";
  std::fputs(closing.c_str(), stderr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    vt::cli::InterruptWatch watch;
    CLI::App app("", "vellumtrace");
    vt::cli::Arguments args;
    vt::cli::define_arguments(app, args);
    try {
      app.parse(argc, argv);
      vt::cli::settle_arguments(app, args);
      vt::cli::use_time_zone(args.timezone);
    } catch (const CLI::ParseError& e) {
      const int code = app.exit(e);
      return code == 0 ? 0 : kUsage;
    }
    return run(args, watch);
  } catch (const std::exception& e) {
    return report_failure(e.what());
  }
}
