#include "aider/input_history.hpp"

#include "aider/aider_event.hpp"
#include "core/input_files.hpp"
#include "core/prompt_origin.hpp"
#include "core/repeated_texts.hpp"
#include "jsonl/line_reader.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::aider {

namespace {

constexpr std::uint64_t kLinesBetweenCancelChecks = 4096;

}  // namespace

Result<InputHistory> read_input_history(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                        const ParseOptions& options) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  auto reader = JsonlReader::open(path, options.max_line_size, StoredAs::Plain, options.progress);
  if (!reader) return fail(std::move(reader.error()));
  if (options.inputs != nullptr) options.inputs->note(path);
  reader->stop_when(options.cancel);
  const SharedString relative_path(relative_path_for(path, base_dir));
  InputHistory out;
  EventIds ids;
  RepeatedTexts texts;  // record types and warnings, shared
  const auto report = [&](DiagnosticCode code, Severity severity, std::uint64_t line, std::string message) {
    out.records.diagnostics.push_back(Diagnostic{
        code, severity, SourceRef{ArtifactKind::History, std::nullopt, relative_path, line, std::nullopt},
        std::move(message)});
  };
  std::string text;
  bool open = false;        // an entry is collecting its lines
  bool first_line = true;  // none collected yet
  const auto close = [&]() {
    if (!open) return;
    open = false;
    Event& event = out.records.events[out.entries.back().event];
    out.entries.back().compared = compared_text(text);
    event.message = std::move(text);
    event.origin = prompt_origin(event);
    text.clear();
  };
  LineView line;
  while (reader->next_view(line)) {
    if (line.line_number % kLinesBetweenCancelChecks == 0 && cancel_requested(options)) {
      return fail(ParseError::interrupted());
    }
    if (line.failed || line.over_limit) {
      report(line.failed ? DiagnosticCode::UnreadableArtifact : DiagnosticCode::InvalidJson,
             line.failed ? Severity::Error : Severity::Warning, line.line_number,
             line.failed ? "Failed to read line: " + std::string(line.error)
                         : "Line size " + std::to_string(line.byte_length) + " exceeds max_line_size " +
                               std::to_string(options.max_line_size) + ", skipping.");
      continue;
    }
    std::string_view body = line.text;
    if (body.ends_with('\r')) body.remove_suffix(1);
    if (body.starts_with('+') && open) {
      if (!first_line) text += '\n';
      first_line = false;
      text.append(body.substr(1));
      continue;
    }
    if (body.starts_with("# ")) {
      close();
      const std::string_view when = body.substr(2);
      InputEntry entry{out.records.events.size(), parse_local_time(when), {}};
      Event& event = add_block_event(out.records.events, ids, texts,
                                     BlockPlace{ArtifactKind::History, relative_path, line.line_number, "input",
                                                "input_history"},
                                     EventType::PromptInput);
      event.timestamp_raw = Json(std::string(when));
      const std::optional<ZonedTime> zoned = entry.local ? in_program_zone(*entry.local, "Input time") : std::nullopt;
      if (zoned) {
        event.timestamp = zoned->instant;
        event.timestamp_source = TimestampSource::Embedded;
        event.warnings.push_back(texts.get(zoned->warning));
      } else {
        report(DiagnosticCode::InvalidTimestamp, Severity::Warning, line.line_number,
               "Entry time '" + std::string(when) + "' is not a local date and time.");
      }
      out.entries.push_back(std::move(entry));
      open = true;
      first_line = true;
      continue;
    }
    if (body.find_first_not_of(" \t") == std::string_view::npos) continue;
    report(DiagnosticCode::UnknownRecord, Severity::Warning, line.line_number,
           "Not an input history line (neither '# <time>' nor '+<text>'), skipping.");
  }
  close();
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  out.records.sha256 = reader->finish();
  const SharedString digest(out.records.sha256);
  for (Event& event : out.records.events) event.source_file_sha256 = digest;
  return out;
}

}  // namespace vt::aider
