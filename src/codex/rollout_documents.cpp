// Older Codex rollouts written as one JSON document (`rollout-*.json`,
// `{"session": {"id", "timestamp", …}, "items": [{"role", "content"}, …]}`),
// read in the full reading: the document is read whole, bounded like one
// line, and its header and items become events exactly as the same records
// of an older rollout log would. Whatever keeps a document from being read
// is named in a diagnostic, so no such file is passed over in silence.
#include <string>

#include "codex/codex_readers.hpp"
#include "codex/session_records.hpp"
#include "codex/session_state.hpp"
#include "core/input_files.hpp"
#include "jsonl/json_parse.hpp"
#include "jsonl/line_reader.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::codex {

namespace {

struct DocumentText {
  std::string text;
  std::uint64_t size = 0;
  bool too_large = false;
  std::optional<std::string> failure;
};

// Every line of the document joined again by line feeds, unless it grows
// past the limit (then only its size is kept).
DocumentText read_whole(JsonlReader& reader, std::uint64_t limit) {
  DocumentText document;
  LineView line;
  while (reader.next_view(line)) {
    if (line.failed) {
      if (!document.failure) document.failure = std::string(line.error);
      continue;
    }
    document.size += line.byte_length + (document.size == 0 ? 0 : 1);
    if (line.over_limit || (limit != 0 && document.size > limit)) {
      document.too_large = true;
      std::string().swap(document.text);
    }
    if (document.too_large || document.failure) continue;
    if (line.line_number > 1) document.text.push_back('\n');
    document.text.append(line.text);
  }
  return document;
}

}  // namespace

Result<FileRecords> parse_codex_rollout_document(const std::filesystem::path& path,
                                                 const std::filesystem::path& root,
                                                 const ParseOptions& options) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  auto reader = JsonlReader::open(path, options.max_line_size, StoredAs::Plain, options.progress);
  if (!reader) return fail(std::move(reader.error()));
  if (options.inputs != nullptr) options.inputs->note(path);
  reader->stop_when(options.cancel);
  const SharedString relative_path(relative_path_for(path, root));
  DocumentText document = read_whole(*reader, options.max_line_size);
  if (cancel_requested(options)) return fail(ParseError::interrupted());

  FileRecords out;
  out.sha256 = reader->finish();
  const auto report = [&](DiagnosticCode code, Severity severity, std::string message) {
    out.diagnostics.push_back(Diagnostic{
        code, severity, SourceRef{ArtifactKind::Session, std::nullopt, relative_path, std::nullopt, std::nullopt},
        std::move(message)});
  };
  if (document.failure) {
    report(DiagnosticCode::UnreadableArtifact, Severity::Error,
           "Failed to read rollout document: " + *document.failure);
    return out;
  }
  if (document.too_large) {
    report(DiagnosticCode::InvalidJson, Severity::Warning,
           "Rollout document size " + std::to_string(document.size) + " exceeds max_line_size " +
               std::to_string(options.max_line_size) + ", skipping.");
    return out;
  }
  auto value = parse_json_text(document.text);
  std::string().swap(document.text);
  if (!value) {
    report(DiagnosticCode::InvalidJson, Severity::Error, "Invalid JSON: " + value.error());
    return out;
  }
  const auto session = value->is_object() ? value->find("session") : value->end();
  const auto items = value->is_object() ? value->find("items") : value->end();
  if (session == value->end() || !session->is_object() || items == value->end() || !items->is_array()) {
    report(DiagnosticCode::UnknownRecord, Severity::Warning,
           "Rollout document without a 'session' object and an 'items' array, skipping.");
    return out;
  }

  SessionRecords records(session_id_from_file_name(path.filename().native()), options);
  RecordSink sink{out.events, out.diagnostics};
  JsonTape tape;
  tape.assign(*session);
  records.handle(JsonView(tape, 0), RecordPlace{std::nullopt, "codex_rollout_document:session"}, relative_path,
                 sink);
  std::size_t index = 0;
  for (const Json& item : *items) {
    const std::string key = "codex_rollout_document:item:" + std::to_string(index++);
    if (!item.is_object()) {
      report(DiagnosticCode::UnknownRecord, Severity::Warning,
             "Item " + std::to_string(index - 1) + " of the rollout document is not an object.");
      continue;
    }
    tape.assign(item);
    records.handle(JsonView(tape, 0), RecordPlace{std::nullopt, key}, relative_path, sink);
  }
  const SharedString digest(out.sha256);
  for (Event& event : out.events) event.source_file_sha256 = digest;
  return out;
}

}  // namespace vt::codex
