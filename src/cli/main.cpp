// vellumtrace: the timeline of an agent artifact tree on the command line.
// Parses PATH with the same core as the Python module, renders the report as
// JSON, JSON Lines or CSV to standard output or a file, and summarizes the
// run on standard error.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/arguments.hpp"
#include "cli/summary.hpp"
#include "core/driver.hpp"
#include "core/input_files.hpp"
#include "output/sink.hpp"
#include "output/writers.hpp"

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

int report_failure(const std::string& text) {
  std::fprintf(stderr, "vellumtrace: %s\n", text.c_str());
  return kFailure;
}

vt::Status render(const vt::Report& report, const vt::cli::Arguments& args, vt::ByteSink& sink) {
  if (args.format == "jsonl") return vt::write_jsonl_timeline(report, sink);
  if (args.format == "csv") return vt::write_csv_timeline(report, vt::cli::csv_options(args), sink);
  vt::Status written = vt::write_json_report(report, !args.compact, sink);
  // The document has no final line break; give a terminal one so the prompt
  // does not stick to the closing brace. Files and pipes get the exact bytes.
  if (written && args.to_stdout() && ::isatty(STDOUT_FILENO) == 1) (void)sink.write("\n", 1);
  return written;
}

int run(const vt::cli::Arguments& args) {
  vt::InputFiles inputs;
  vt::ParseOptions options = vt::cli::parse_options(args);
  options.inputs = &inputs;
  vt::Result<vt::Report> report = vt::run(args.path, options);
  if (!report) return report_failure(report.error().text());
  if (!args.to_stdout()) {
    if (const std::error_code refused = vt::output_names_an_input(args.output, inputs)) {
      return report_failure(vt::cannot_create_message(args.output, refused));
    }
  }

  std::unique_ptr<vt::ByteSink> sink;
  if (args.to_stdout()) {
    sink = std::make_unique<vt::DescriptorSink>(STDOUT_FILENO);
  } else {
    auto file = vt::FileSink::create(args.output);
    if (!file) return report_failure(vt::cannot_create_message(args.output, file.error()));
    sink = std::move(*file);
  }
  const vt::Status written = render(*report, args, *sink);
  sink.reset();  // closes the output file
  if (!written) return report_failure(written.error().text());

  if (!args.quiet) std::fprintf(stderr, "%s\n", vt::cli::summary_line(*report).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    CLI::App app("", "vellumtrace");
    vt::cli::Arguments args;
    vt::cli::define_arguments(app, args);
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
      const int code = app.exit(e);
      return code == 0 ? 0 : kUsage;
    }
    return run(args);
  } catch (const std::exception& e) {
    return report_failure(e.what());
  }
}
