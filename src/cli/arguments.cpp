#include "cli/arguments.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "cli/local_time.hpp"
#include "cli/report_dir.hpp"
#include "cli/version.hpp"
#include "core/rfc3339.hpp"

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

// Whether two output paths name one file: the same path once made absolute
// and normal, or one existing file reached both ways.
bool same_file(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path first = fs::absolute(a, ec).lexically_normal();
  const fs::path second = fs::absolute(b, ec).lexically_normal();
  if (first == second) return true;
  return fs::equivalent(a, b, ec) && !ec;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// A repeatable option taking one value per occurrence, each checked by `add`,
// which returns an error text for a value it refuses.
template <class Add>
CLI::Option* add_repeatable(CLI::App& app, const std::string& name, const std::string& help,
                            const std::string& type, Add add) {
  return app
      .add_option_function<std::vector<std::string>>(
          name,
          [name, add](const std::vector<std::string>& values) {
            for (const std::string& value : values) {
              if (const std::string problem = add(value); !problem.empty()) {
                throw CLI::ValidationError(name, problem);
              }
            }
          },
          help)
      ->type_name(type)
      ->allow_extra_args(false)
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// A --since/--until value is kept as given and read once the zone is known
// (settle_arguments), since a day is a day of that zone.
CLI::Option* add_time_bound(CLI::App& app, const std::string& name, std::string& target, const std::string& help) {
  return app.add_option(name, target, help)->type_name("TIME");
}

// The instant relative days count from: VELLUMTRACE_NOW (RFC 3339), else the clock.
Instant now_instant() {
  if (const char* fixed = std::getenv("VELLUMTRACE_NOW"); fixed != nullptr && *fixed != '\0') {
    if (const auto at = parse_rfc3339(fixed)) return *at;
    throw CLI::ValidationError("VELLUMTRACE_NOW", "'" + std::string(fixed) + "' is not an RFC 3339 date-time");
  }
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return *Instant::from_unix(std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count());
}

template <class Parse>
std::optional<TimeBound> time_bound(const CLI::App& app, const std::string& name, const std::string& text,
                                    Parse parse, const Instant& now) {
  if (app.get_option(name)->count() == 0) return std::nullopt;
  auto bound = parse(text, now);
  if (!bound) {
    throw CLI::ValidationError(name, "'" + text + "' is neither an RFC 3339 date-time nor a date (YYYY-MM-DD, "
                                     "today, yesterday, or days or weeks back: 7d, 4w)");
  }
  return bound;
}

void define_filters(CLI::App& app, Arguments& args) {
  EventFilter& filter = args.filter;
  const std::string group = "Filters (applied to the ordered timeline; sequence numbers are kept)";
  add_time_bound(app, "--since", args.since,
                 "Keep events at or after TIME: RFC 3339, or a day (YYYY-MM-DD, today, yesterday,\n"
                 "7d or 4w: that many days or weeks before today) from its start; days are local\n"
                 "(--timezone)")
      ->group(group);
  add_time_bound(app, "--until", args.until,
                 "Keep events at or before TIME: RFC 3339, or a day as for --since, through its end")
      ->group(group);
  add_repeatable(app, "--session",
                 "Keep events of session ID, or of the one session whose id it starts; any letter\n"
                 "case (repeatable)",
                 "ID",
                 [&filter](const std::string& value) {
                   filter.sessions.push_back(value);
                   return std::string();
                 })
      ->group(group);
  add_repeatable(app, "--provider", "Keep events of PROVIDER: " + joined(filterable_providers()) +
                                        " (repeatable)",
                 "PROVIDER",
                 [&filter](const std::string& value) {
                   const auto provider = provider_named(value);
                   if (!provider) {
                     return "'" + value + "' is not a provider; valid: " +
                            joined(filterable_providers());
                   }
                   filter.providers.push_back(*provider);
                   return std::string();
                 })
      ->group(group);
  add_repeatable(app, "--event-type",
                 "Keep events of TYPE (repeatable): " + joined(filterable_event_types()), "TYPE",
                 [&filter](const std::string& value) {
                   const auto type = event_type_named(value);
                   if (!type) {
                     return "'" + value + "' is not an event type; valid: " +
                            joined(filterable_event_types());
                   }
                   filter.event_types.push_back(*type);
                   return std::string();
                 })
      ->group(group);
  add_repeatable(app, "--origin",
                 "Keep prompts of ORIGIN (repeatable): typed, injected (context the agent's\n"
                 "harness wrote) or command (slash and shell commands, their output)", "ORIGIN",
                 [&filter](const std::string& value) {
                   const auto origin = origin_named(value);
                   if (!origin) return "'" + value + "' is not a prompt origin; valid: " + joined(filterable_origins());
                   filter.origins.push_back(*origin);
                   return std::string();
                 })
      ->group(group);
  add_repeatable(app, "--cwd",
                 "Keep events whose working directory is PREFIX or lies below it; \\ counts as /\n"
                 "and a drive letter in any case (repeatable)",
                 "PREFIX",
                 [&filter](const std::string& value) {
                   if (value.empty()) return std::string("an empty working-directory prefix");
                   filter.cwd_prefixes.push_back(normal_cwd_prefix(value));
                   return std::string();
                 })
      ->group(group);
}

}  // namespace

void define_arguments(CLI::App& app, Arguments& args) {
  app.description(
      "Read what AI coding agents left on disk (a .claude or .codex root, a directory\n"
      "holding such roots, or any single part of one) and render one normalized,\n"
      "ordered timeline with its diagnostics.");
  app.footer(
      "The rendering goes to standard output unless --output is given; --output files\n"
      "are replaced only once completely written. Unless --quiet is given, standard\n"
      "error shows a progress line (on a terminal), the first diagnostics (when the\n"
      "rendering does not carry them) and a one-line summary.\n"
      "Exit status: 0 on success, 1 when the run or the output fails, 2 on a usage\n"
      "error, 3 when of several inputs some could not be read (the others were\n"
      "written; each failed input is an unreadable_input diagnostic), 130 on SIGINT and\n"
      "143 on SIGTERM.");
  app.set_version_flag("-V,--version", std::string("vellumtrace ") + std::string(kVersion));

  app.add_option("path", args.paths,
                 "Artifacts, .claude or .codex roots, or directories holding them (one timeline\n"
                 "over all of them; a place given twice is read once)")
      ->required()
      ->type_name("PATH...");
  add_repeatable(app, "--label",
                 "Name the input given as PATH LABEL in every event's input field (else its path\n"
                 "as given; repeatable)",
                 "PATH=LABEL",
                 [&args](const std::string& value) {
                   InputLabel label;
                   const std::string problem = parse_input_label(value, label);
                   if (problem.empty()) args.labels.push_back(std::move(label));
                   return problem;
                 });
  app.add_option("-f,--format", args.format, "Rendering: json (the whole report), jsonl, csv or timesketch (JSON lines for\n"
                 "Timesketch; events without a timestamp are left out); markdown or html: readable\n"
                 "session reports, one page per session plus an index, into the directory --output\n"
                 "names (tool results cut after 2,000 characters or 40 lines, the full size said);\n"
                 "with --summary: table (the default), csv, json or jsonl")
      ->check(CLI::IsMember({"json", "jsonl", "csv", "timesketch", "markdown", "html", "table"}))
      ->default_str("json")
      ->type_name("FORMAT");
  app.add_option("-o,--output", args.output,
                 "Write to FILE (created only after a successful parse) instead of standard output")
      ->type_name("FILE");
  app.add_flag("--strict", args.strict, "Stop at the first error-severity diagnostic");
  app.add_flag("--include-raw", args.include_raw, "Keep each event's raw input record");
  app.add_flag("--include-content", args.include_content,
               "Inline file content (and write it in the CSV content column)");
  app.add_flag("--no-message", args.no_message,
               "Leave every event's message (and a call's tool_input) out: an empty CSV column,\n"
               "null in JSON and JSON lines, the event type alone in Timesketch; in markdown and\n"
               "html reports, every text from the input replaced by its length and SHA-256");
  app.add_flag("--compact", args.compact, "Write the JSON report without whitespace");
  app.add_flag("--follow-symlinks", args.follow_symlinks, "Follow symbolic links");
  app.add_flag("--documented", args.documented,
               "Read only the documented layout, exactly as the Python functions do (no session\n"
               "transcripts in a Claude Code root, no additions to the events)");
  app.add_option("--prices", args.prices,
                 "Estimate costs with the price table in FILE (the shape of the built-in one, see\n"
                 "the README): its rows override or extend the built-in rows")
      ->type_name("FILE");
  add_byte_count(app, "--max-line-size", args.max_line_size,
                 "Longest accepted line in bytes (0: no limit)");
  add_byte_count(app, "--max-content-size", args.max_content_size,
                 "Largest file whose content is inlined, in bytes (0: no limit)");
  app.add_option("--diagnostics", args.diagnostics,
                 "Write every diagnostic to FILE as JSON lines (with any format)")
      ->type_name("FILE");
  app.add_flag("--summary", args.summary,
               "Print one row per session instead of the timeline (a table; CSV or JSON with\n"
               "--format csv, json or jsonl): prompts counted once (typed, injected, commands),\n"
               "agent messages, tool calls, diagnostic lines, tokens, their estimated cost and\n"
               "models");
  add_repeatable(app, "--by",
                 "With --summary: one row per KEY instead (repeatable, combined):\n" + joined(group_by_names()) +
                     " (block: the 5-hour usage windows)",
                 "KEY",
                 [&args](const std::string& value) {
                   const auto key = group_by_named(value);
                   if (!key) return "'" + value + "' is not a summary key; valid: " + joined(group_by_names());
                   if (std::find(args.by.begin(), args.by.end(), *key) == args.by.end()) args.by.push_back(*key);
                   return std::string();
                 });
  app.add_option("--timezone", args.timezone,
                 "Count days (the summary's days, weeks, months and blocks, and the days of --since\n"
                 "and --until) in ZONE, an IANA name such as Europe/Berlin or UTC, instead of the\n"
                 "local time zone; with --format html/markdown: show times in ZONE")
      ->type_name("ZONE");
  app.add_flag("--wide", args.wide, "With --summary: the table with every column at full width");
  app.add_flag("-q,--quiet", args.quiet,
               "Print nothing on standard error but errors (no progress, diagnostics or summary)");
  define_filters(app, args);
}

void settle_arguments(const CLI::App& app, Arguments& args) {
  args.format_given = app.get_option("--format")->count() > 0;
  // An empty name is no file: taking it for standard output would hide a
  // mistake (an unset shell variable, say).
  for (const auto& [name, value] : {std::pair{"--output", &args.output},
                                    std::pair{"--diagnostics", &args.diagnostics}}) {
    if (app.get_option(name)->count() > 0 && value->empty()) {
      throw CLI::ValidationError(name, "an empty file name");
    }
  }
  if (args.format == "markdown" || args.format == "html") {
    if (args.summary) throw CLI::ValidationError("--summary", "cannot be combined with --format " + args.format);
    if (args.documented) {
      throw CLI::ValidationError("--documented", "--format " + args.format +
                                                     " needs the full reading: the pages are built from its facts");
    }
    if (args.to_stdout()) {
      throw CLI::ValidationError("--format", args.format + " writes a directory of pages: give it with --output DIR");
    }
  }
  if (args.summary && args.format == "timesketch") {
    throw CLI::ValidationError("--summary", "renders as table, csv, json or jsonl, not timesketch");
  }
  if (!args.summary && args.format == "table") {
    throw CLI::ValidationError("--format", "table is the rendering of --summary only");
  }
  for (const char* option : {"--by", "--wide"}) {
    if (!args.summary && app.get_option(option)->count() > 0) {
      throw CLI::ValidationError(option, "applies to --summary only");
    }
  }
  if (args.by.empty()) args.by.push_back(GroupBy::Session);
  if (app.get_option("--timezone")->count() > 0) {
    if (const std::string problem = check_time_zone(args.timezone); !problem.empty()) {
      throw CLI::ValidationError("--timezone", problem);
    }
  }
  if (app.get_option("--prices")->count() > 0) {
    if (args.prices.empty()) throw CLI::ValidationError("--prices", "an empty file name");
    if (args.documented) throw CLI::ValidationError("--prices", "needs the full reading: --documented has no costs");
  }
  use_time_zone(args.timezone);
  if (app.get_option("--since")->count() > 0 || app.get_option("--until")->count() > 0) {
    const Instant now = now_instant();
    args.filter.since = time_bound(app, "--since", args.since, parse_since, now);
    args.filter.until = time_bound(app, "--until", args.until, parse_until, now);
  }
  if (args.documented && !args.filter.origins.empty()) {
    throw CLI::ValidationError("--origin", "needs the full reading: prompts have no origin with --documented");
  }
  if (args.documented && !args.labels.empty()) {
    throw CLI::ValidationError("--label", "needs the full reading: events name no input with --documented");
  }
  if (const std::string problem = check_input_labels(args.paths, args.labels); !problem.empty()) {
    throw CLI::ValidationError("--label", problem);
  }
  if (const std::string problem = check_window(args.filter); !problem.empty()) {
    throw CLI::ValidationError("--since", problem);
  }
  if (!args.to_stdout() && !args.diagnostics.empty() && same_file(args.output, args.diagnostics)) {
    throw CLI::ValidationError("--diagnostics", "names the same file as --output: '" + args.diagnostics + "'");
  }
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
  options.reading = args.documented ? Reading::Documented : Reading::Full;
  return options;
}

EventExtras event_extras(const Arguments& args) { return EventExtras{!args.documented, !args.documented}; }

CsvOptions csv_options(const Arguments& args) {
  return CsvOptions{!args.no_message, args.include_content, event_extras(args)};
}

}  // namespace vt::cli
