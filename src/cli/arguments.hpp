// What the command line asks for, and the option table that fills it in.
// Defaults are those of the Python functions; "json" is pretty unless
// --compact is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/filters.hpp"
#include "cli/input_labels.hpp"
#include "cli/sessions.hpp"
#include "core/options.hpp"
#include "output/writers.hpp"

namespace vt::cli {

struct Arguments {
  std::vector<std::string> paths;
  std::vector<InputLabel> labels;  // --label PATH=LABEL (full reading)
  std::string format = "json";
  std::string output;  // empty or "-": standard output
  bool strict = false;
  bool include_raw = false;
  bool include_content = false;
  bool no_message = false;
  bool compact = false;
  bool follow_symlinks = false;
  bool quiet = false;
  std::uint64_t max_line_size = kDefaultMaxLineSize;
  std::uint64_t max_content_size = kDefaultMaxContentSize;
  std::string diagnostics;  // empty: listed on standard error instead
  bool summary = false;
  std::vector<GroupBy> by;   // --by, in order; the summary's default: per session
  std::string timezone;      // empty: the local zone (of the summary and of --since/--until days)
  std::string since, until;  // as given; read into `filter` by settle_arguments
  bool wide = false;
  bool documented = false;  // only what the Python functions read
  std::string prices;       // a price table extending the built-in one; empty: none
  bool format_given = false;
  EventFilter filter;

  bool to_stdout() const { return output.empty() || output == "-"; }
};

// Registers every option of the program on `app`, bound to `args`.
void define_arguments(CLI::App& app, Arguments& args);
// After parsing: what the options say together (an explicit --format), or a
// usage error for combinations that make no sense (an empty time window, two
// outputs naming one file, summary options without --summary…), all before
// anything is read.
void settle_arguments(const CLI::App& app, Arguments& args);

ParseOptions parse_options(const Arguments& args);
CsvOptions csv_options(const Arguments& args);
// What the program adds to events: the prompt origin, in the full reading.
EventExtras event_extras(const Arguments& args);

}  // namespace vt::cli
