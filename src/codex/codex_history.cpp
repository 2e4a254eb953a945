// The Codex prompt history: each object line becomes a `prompt_input` event
// carrying its session, its text and its Unix time in seconds.
#include <string>

#include "codex/codex_readers.hpp"
#include "core/line_key.hpp"
#include "core/prompt_origin.hpp"
#include "jsonl/fields.hpp"
#include "hash/event_id.hpp"
#include "jsonl/fields.hpp"

namespace vt::codex {

namespace {

Diagnostic history_warning(DiagnosticCode code, std::string message, std::uint64_t line,
                           const std::string& relative_path) {
  Diagnostic d;
  d.code = code;
  d.severity = Severity::Warning;
  d.source = SourceRef{ArtifactKind::History, std::nullopt, relative_path, line, std::nullopt};
  d.message = std::move(message);
  return d;
}

// A string member, or absent; any other type present is reported.
std::optional<std::string> string_field(JsonView object, std::string_view key, std::uint64_t line,
                                        const std::string& relative_path, RecordSink& sink) {
  const FieldRef value = get_field(object, key);
  if (value == nullptr) return std::nullopt;
  if (auto text = get_string(object, key)) return std::string(*text);
  std::string message = "Field '";
  message.append(key).append("' expected string, got ").append(json_type_name(*value));
  sink.diagnostics.push_back(
      history_warning(DiagnosticCode::InvalidFieldType, std::move(message), line, relative_path));
  return std::nullopt;
}

void handle_history_record(JsonView object, std::uint64_t line, const SharedString& relative_path,
                           RecordSink& sink, EventIds& ids, const OptionalShared& record_type,
                           const ParseOptions& options) {
  Event event;
  event.provider = Provider::Codex;
  event.event_type = EventType::PromptInput;
  event.sequence = sink.events.size();
  std::optional<std::string> session = string_field(object, "session_id", line, relative_path, sink);
  event.session_id = session;
  event.message = string_field(object, "text", line, relative_path, sink);

  if (const FieldRef ts = get_field(object, "ts")) {
    event.timestamp_raw = raw_timestamp(*ts);
    if (const auto seconds = exact_int64(*ts)) event.timestamp = Instant::from_unix(*seconds);
    if (event.timestamp) {
      event.timestamp_source = TimestampSource::Embedded;
    } else {
      sink.diagnostics.push_back(history_warning(DiagnosticCode::InvalidTimestamp,
                                                 "Field 'ts' is not a valid Unix timestamp in seconds.",
                                                 line, relative_path));
    }
  }

  const LineKey source_key("codex_history:", line);
  event.event_id = ids.defer(Provider::Codex, ArtifactKind::History, relative_path, source_key);
  event.source = SourceRef{ArtifactKind::History, record_type, relative_path, line, std::move(session)};
  if (full_reading(options)) event.origin = prompt_origin(event);
  if (options.include_raw) event.raw = held_copy(object);
  sink.events.push_back(std::move(event));
}

}  // namespace

Result<FileRecords> parse_codex_history(const std::filesystem::path& path,
                                        const std::filesystem::path& root,
                                        const ParseOptions& options) {
  EventIds ids;
  const OptionalShared record_type("history");  // one text for every event of the file
  auto read = read_jsonl_records(
      path, root, options, ArtifactKind::History,
      [&options, &ids, &record_type](JsonView object, std::uint64_t line,
                                     const SharedString& relative_path, RecordSink& sink) {
        handle_history_record(object, line, relative_path, sink, ids, record_type, options);
      });
  if (read) ids.fill(read->events);  // the ids deferred record by record, computed together
  return read;
}

}  // namespace vt::codex
