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
#include "jsonl/json_parse.hpp"
#include "jsonl/relative_path.hpp"
#include "jsonl/whole_document.hpp"

namespace vt::codex {

Result<FileRecords> parse_codex_rollout_document(const std::filesystem::path& path,
                                                 const std::filesystem::path& root,
                                                 const ParseOptions& options) {
  const SharedString relative_path(relative_path_for(path, root));
  const SourceRef source{ArtifactKind::Session, std::nullopt, relative_path, std::nullopt, std::nullopt};
  auto read = read_document_records(path, options, source, "rollout document");
  if (!read) return fail(std::move(read.error()));
  FileRecords out = std::move(read->records);
  if (!read->text) return out;
  const auto report = [&](DiagnosticCode code, Severity severity, std::string message) {
    out.diagnostics.push_back(Diagnostic{code, severity, source, std::move(message)});
  };
  auto value = parse_json_text(*read->text);
  std::string().swap(*read->text);
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
  records.fill_ids(out.events);
  stamp_file_digest(out);
  return out;
}

}  // namespace vt::codex
