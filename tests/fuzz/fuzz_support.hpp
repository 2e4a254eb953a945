// What the fuzz targets share: a scratch directory that holds each input as
// a file, the line accounting made independently of the reader (which lines
// must yield an event or a diagnostic), and the checks every rendering must
// pass (the JSON document parses back to the report, the JSON-lines timeline
// agrees with it, a second run renders the same bytes).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/driver.hpp"
#include "core/enums.hpp"
#include "core/records.hpp"
#include "core/utf8.hpp"
#include "jsonl/trim.hpp"
#include "output/sink.hpp"
#include "output/writers.hpp"

namespace fuzz {

namespace fs = std::filesystem;

[[noreturn]] inline void violated(const char* what, const std::string& detail) {
  std::fprintf(stderr, "property violated: %s (%s)\n", what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_CHECK(condition, detail)                                 \
  do {                                                                \
    if (!(condition)) ::fuzz::violated(#condition, (detail));         \
  } while (0)

// This process's scratch directory (in memory where the system offers it:
// every execution rewrites a file), removed when the process exits.
inline const fs::path& scratch() {
  static const fs::path dir = [] {
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "vt-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) violated("mkdtemp", pattern);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(scratch(), ignored);
    });
    return fs::path(pattern);
  }();
  return dir;
}

// Writes `data` to `relative` below the scratch directory and returns its path.
inline fs::path write_input(const fs::path& relative, const std::uint8_t* data, std::size_t size) {
  const fs::path path = scratch() / relative;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out.flush()) violated("write input", path.string());
  return path;
}

// The lines of a file as a reader must see them: split at line feeds only,
// numbered from 1, no extra empty line after a final line feed.
inline std::vector<std::string_view> split_lines(std::string_view data) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < data.size()) {
    const std::size_t feed = data.find('\n', start);
    const std::size_t end = feed == std::string_view::npos ? data.size() : feed;
    lines.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A line that must yield at least one event or diagnostic naming it: too
// long, not UTF-8, or holding anything but blanks.
inline bool must_be_accounted(std::string_view line, std::uint64_t limit) {
  if (limit != 0 && line.size() > limit) return true;
  if (vt::find_utf8_error(line)) return true;
  return !vt::trim_line(line).empty();
}

// Every line that must be accounted for is named by an event or a
// diagnostic; a line holding a NUL byte (within the limit) is never taken as
// a record and always reported.
inline void check_lines_accounted(std::string_view data, const std::vector<vt::Event>& events,
                                  const std::vector<vt::Diagnostic>& diagnostics,
                                  std::uint64_t limit) {
  std::set<std::uint64_t> with_event, with_diagnostic;
  for (const vt::Event& e : events) {
    if (e.source.line_number) with_event.insert(*e.source.line_number);
  }
  for (const vt::Diagnostic& d : diagnostics) {
    if (d.source && d.source->line_number) with_diagnostic.insert(*d.source->line_number);
  }
  const std::vector<std::string_view> lines = split_lines(data);
  for (std::uint64_t number = 1; number <= lines.size(); ++number) {
    const std::string_view line = lines[number - 1];
    const std::string where = "line " + std::to_string(number);
    if (must_be_accounted(line, limit)) {
      FUZZ_CHECK(with_event.count(number) || with_diagnostic.count(number), where + " was lost");
    }
    const bool within = limit == 0 || line.size() <= limit;
    if (within && line.find('\0') != std::string_view::npos) {
      FUZZ_CHECK(!with_event.count(number), where + " holds a NUL yet became an event");
      FUZZ_CHECK(with_diagnostic.count(number), where + " holds a NUL and was not reported");
    }
  }
  for (std::uint64_t number : with_event) {
    FUZZ_CHECK(number >= 1 && number <= lines.size(), "event names line " + std::to_string(number));
  }
}

enum class Rendering { JsonPretty, JsonCompact, Jsonl, JsonlExtras, Csv };

inline std::string render(const vt::Report& report, Rendering rendering) {
  vt::MemorySink sink;
  vt::Status status;
  switch (rendering) {
    case Rendering::JsonPretty: status = vt::write_json_report(report, true, sink); break;
    case Rendering::JsonCompact: status = vt::write_json_report(report, false, sink); break;
    case Rendering::Jsonl: status = vt::write_jsonl_timeline(report, sink); break;
    case Rendering::JsonlExtras:
      status = vt::write_jsonl_timeline(report, sink, 1, vt::EventExtras{true, true});
      break;
    case Rendering::Csv: status = vt::write_csv_timeline(report, vt::CsvOptions{true, true}, sink); break;
  }
  FUZZ_CHECK(status.has_value(), status ? std::string() : status.error().text());
  return std::move(sink.buffer());
}

inline nlohmann::json parse_back(const std::string& text) {
  try {
    return nlohmann::json::parse(text);
  } catch (const std::exception& e) {
    violated("writer output parses back", e.what());
  }
}

inline nlohmann::json optional_json(const std::optional<std::string>& text) {
  return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

template <class Text>
nlohmann::json optional_json(const std::optional<Text>& text) {
  return text ? nlohmann::json(std::string(std::string_view(*text))) : nlohmann::json(nullptr);
}

inline nlohmann::json optional_json(const vt::OptionalShared& text) {
  return text ? nlohmann::json(text->str()) : nlohmann::json(nullptr);
}

inline nlohmann::json optional_json(const std::optional<std::uint64_t>& number) {
  return number ? nlohmann::json(*number) : nlohmann::json(nullptr);
}

inline void check_source(const nlohmann::json& back, const vt::SourceRef& source, const std::string& where) {
  FUZZ_CHECK(back.at("artifact_kind") == vt::wire_name(source.artifact_kind), where);
  FUZZ_CHECK(back.at("relative_path") == source.relative_path.str(), where);
  FUZZ_CHECK(back.at("line_number") == optional_json(source.line_number), where);
  FUZZ_CHECK(back.at("record_type") == optional_json(source.record_type), where);
  FUZZ_CHECK(back.at("source_id") == optional_json(source.source_id), where);
}

// The JSON document (pretty and compact) parses back to the report's
// members, and each JSON-lines line to the document's event.
inline void check_renderings(const vt::Report& report) {
  const nlohmann::json pretty = parse_back(render(report, Rendering::JsonPretty));
  const nlohmann::json compact = parse_back(render(report, Rendering::JsonCompact));
  FUZZ_CHECK(pretty == compact, "pretty and compact documents differ");
  const nlohmann::json& events = pretty.at("events");
  const nlohmann::json& diagnostics = pretty.at("diagnostics");
  FUZZ_CHECK(events.size() == report.events.size(), "event count");
  FUZZ_CHECK(diagnostics.size() == report.diagnostics.size(), "diagnostic count");
  for (std::size_t i = 0; i < report.events.size(); ++i) {
    const vt::Event& e = report.events[i];
    const nlohmann::json& back = events[i];
    const std::string where = "event " + std::to_string(i);
    FUZZ_CHECK(back.at("event_id") == e.event_id.str(), where);
    FUZZ_CHECK(back.at("sequence") == e.sequence, where);
    FUZZ_CHECK(back.at("event_type") == vt::wire_name(e.event_type), where);
    FUZZ_CHECK(back.at("provider") == vt::wire_name(e.provider), where);
    FUZZ_CHECK(back.at("message") == optional_json(e.message), where);
    FUZZ_CHECK(back.at("session_id") == optional_json(e.session_id), where);
    FUZZ_CHECK(back.at("source_file_sha256") == optional_json(e.source_file_sha256), where);
    FUZZ_CHECK(back.at("timestamp") == (e.timestamp ? nlohmann::json(e.timestamp->text()) : nlohmann::json()), where);
    FUZZ_CHECK(back.at("raw") == (e.raw ? *e.raw : nlohmann::json()), where + " raw");
    FUZZ_CHECK(back.at("timestamp_raw") == e.timestamp_raw.value(), where);
    std::vector<std::string> warnings;
    for (const auto& w : e.warnings) warnings.emplace_back(std::string_view(w));
    FUZZ_CHECK(back.at("warnings") == nlohmann::json(warnings), where);
    check_source(back.at("source"), e.source, where);
  }
  for (std::size_t i = 0; i < report.diagnostics.size(); ++i) {
    const vt::Diagnostic& d = report.diagnostics[i];
    const nlohmann::json& back = diagnostics[i];
    const std::string where = "diagnostic " + std::to_string(i);
    FUZZ_CHECK(back.at("code") == vt::wire_name(d.code), where);
    FUZZ_CHECK(back.at("severity") == vt::wire_name(d.severity), where);
    FUZZ_CHECK(back.at("message") == d.message, where);
    if (d.source) check_source(back.at("source"), *d.source, where);
    else FUZZ_CHECK(back.at("source").is_null(), where);
  }
  const std::string jsonl = render(report, Rendering::Jsonl);
  const std::vector<std::string_view> lines = split_lines(jsonl);
  FUZZ_CHECK(lines.size() == report.events.size(), "one JSON line per event");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    FUZZ_CHECK(parse_back(std::string(lines[i])) == events[i], "JSON line " + std::to_string(i));
  }
  // With the full reading's extras, each line still parses, and its token
  // amounts read back as the event's facts.
  const std::string extras = render(report, Rendering::JsonlExtras);
  const std::vector<std::string_view> extra_lines = split_lines(extras);
  FUZZ_CHECK(extra_lines.size() == report.events.size(), "one JSON line per event, with extras");
  for (std::size_t i = 0; i < extra_lines.size(); ++i) {
    const nlohmann::json back = parse_back(std::string(extra_lines[i]));
    const vt::Facts& facts = report.events[i].facts;
    const auto count = [](const std::optional<std::uint64_t>& n) { return n ? nlohmann::json(*n) : nlohmann::json(); };
    const std::string where = "facts of line " + std::to_string(i);
    FUZZ_CHECK(back.at("input_tokens") == (facts.usage ? count(facts.usage->tokens.input) : nlohmann::json()), where);
    FUZZ_CHECK(back.at("output_tokens") == (facts.usage ? count(facts.usage->tokens.output) : nlohmann::json()),
               where);
    FUZZ_CHECK(back.at("model") == (facts.model ? nlohmann::json(facts.model->str()) : nlohmann::json()), where);
  }
}

// Runs `path` as `kind` twice and checks that both runs render the same bytes
// in every format. Returns the first run's outcome.
inline vt::Result<vt::Report> run_twice(const fs::path& path, const vt::ParseOptions& options) {
  vt::Result<vt::Report> first = vt::run(path.string(), options);
  vt::Result<vt::Report> second = vt::run(path.string(), options);
  FUZZ_CHECK(first.has_value() == second.has_value(), "second run ends differently");
  if (!first) {
    FUZZ_CHECK(first.error().text() == second.error().text(), "second run fails differently");
    return first;
  }
  for (Rendering r : {Rendering::JsonPretty, Rendering::Jsonl, Rendering::JsonlExtras, Rendering::Csv}) {
    FUZZ_CHECK(render(*first, r) == render(*second, r), "second run renders different bytes");
  }
  return first;
}

// The whole run over one input file of arbitrary bytes: it succeeds, no line
// is lost, the renderings agree with the report, a second run renders the
// same bytes.
inline void check_whole_run(const fs::path& path, const vt::ParseOptions& options, const std::uint8_t* data,
                            std::size_t size) {
  auto report = run_twice(path, options);
  FUZZ_CHECK(report.has_value(), report ? "" : report.error().text());
  check_lines_accounted({reinterpret_cast<const char*>(data), size}, report->events, report->diagnostics,
                        options.max_line_size);
  check_renderings(*report);
}

}  // namespace fuzz
