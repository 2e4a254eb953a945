#include "cli/arguments.hpp"

#include <charconv>

#include "cli/version.hpp"

namespace vt::cli {

namespace {

// A byte count: plain decimal digits that fit 64 bits (no sign, no base
// prefix, no suffix), so "-1" or "0x10" are refused instead of reinterpreted.
std::string parse_byte_count(std::string& text, std::uint64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return "expected a number of bytes (decimal digits), got '" + text + "'";
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return "number of bytes too large: '" + text + "'";
  }
  return {};
}

void add_byte_count(CLI::App& app, const std::string& name, std::uint64_t& target,
                    const std::string& help) {
  app.add_option_function<std::string>(
         name,
         [&target, name](const std::string& text) {
           std::string copy = text;
           std::uint64_t value = 0;
           if (const std::string problem = parse_byte_count(copy, value); !problem.empty()) {
             throw CLI::ValidationError(name + ": " + problem);
           }
           target = value;
         },
         help)
      ->type_name("N")
      ->default_str(std::to_string(target));
}

}  // namespace

void define_arguments(CLI::App& app, Arguments& args) {
  app.description(
      "Read what AI coding agents left on disk (a .claude or .codex root, a directory\n"
      "holding such roots, or any single part of one) and render one normalized,\n"
      "ordered timeline with its diagnostics.");
  app.footer(
      "The rendering goes to standard output unless --output is given; a one-line\n"
      "summary goes to standard error unless --quiet is given.\n"
      "Exit status: 0 on success, 1 when the run or the output fails, 2 on a usage error.");
  app.set_version_flag("-V,--version", std::string("vellumtrace ") + std::string(kVersion));

  app.add_option("path", args.path, "Artifact, .claude or .codex root, or a directory holding them")
      ->required()
      ->type_name("PATH");
  app.add_option("-f,--format", args.format, "Rendering: json (the whole report), jsonl or csv")
      ->check(CLI::IsMember({"json", "jsonl", "csv"}))
      ->default_str("json")
      ->type_name("FORMAT");
  app.add_option("-o,--output", args.output,
                 "Write to FILE (created only after a successful parse) instead of standard output")
      ->type_name("FILE");
  app.add_flag("--strict", args.strict, "Stop at the first error-severity diagnostic");
  app.add_flag("--include-raw", args.include_raw, "Keep each event's raw input record");
  app.add_flag("--include-content", args.include_content,
               "Inline file content (and write it in the CSV content column)");
  app.add_flag("--no-message", args.no_message, "Leave the CSV message column empty");
  app.add_flag("--compact", args.compact, "Write the JSON report without whitespace");
  app.add_flag("--follow-symlinks", args.follow_symlinks, "Follow symbolic links");
  add_byte_count(app, "--max-line-size", args.max_line_size,
                 "Longest accepted line in bytes (0: no limit)");
  add_byte_count(app, "--max-content-size", args.max_content_size,
                 "Largest file whose content is inlined, in bytes (0: no limit)");
  app.add_flag("-q,--quiet", args.quiet, "Print no summary line");
}

ParseOptions parse_options(const Arguments& args) {
  ParseOptions options;
  options.max_line_size = args.max_line_size;
  options.max_content_size = args.max_content_size;
  options.input_kind = InputKind::Auto;
  options.strict = args.strict;
  options.include_raw = args.include_raw;
  options.include_content = args.include_content;
  options.follow_symlinks = args.follow_symlinks;
  return options;
}

CsvOptions csv_options(const Arguments& args) {
  return CsvOptions{!args.no_message, args.include_content};
}

}  // namespace vt::cli
