// A chat session written as one JSON document (`session-*.json`):
// `{sessionId, projectHash, startTime, lastUpdated, summary?, messages: […]}`.
// The top-level object is the session's header (its `summary` the start's
// message); each message is read as a message line would be, on the line
// where it starts. A document that is not an object holding `messages` or a
// `sessionId` is not read as a session, and a diagnostic says so.
#include <string>

#include "gemini_cli/document_file.hpp"
#include "gemini_cli/file_readers.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/element_lines.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::gemini {

Result<FileRead> read_session_document(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                       const ParseOptions& options) {
  EventMaker maker(ArtifactKind::GeminiSession, SharedString(relative_path_for(path, base_dir)), options);
  FileRead read;
  FileRecords& out = read.records;
  auto document = open_document(path, options, maker, out, "session document");
  if (!document) return fail(std::move(document.error()));
  if (!document->root) return read;
  RecordSink sink{out.events, out.diagnostics};
  const JsonView root = *document->root;
  const FieldRef messages = root.is_object() ? get_field(root, "messages") : FieldRef();
  const bool has_messages = messages && messages->is_array();
  if (!root.is_object() || (!has_messages && !get_string(root, "sessionId"))) {
    maker.diagnose(sink, DiagnosticCode::UnknownRecord, Severity::Warning, std::nullopt,
                   "Not a Gemini CLI session: no 'messages' array.");
    return read;
  }

  ChatMessages chat(maker);
  // The header's raw record: the document without its messages.
  Json header = Json::object();
  for (const JsonView member : root.members_by_key()) {
    if (member.key() != "messages") header[std::string(member.key())] = held_copy(member);
  }
  JsonTape header_tape;
  header_tape.assign(header);
  const JsonView header_view(header_tape, 0);
  RecordPlace place;
  place.line = first_value_line(document->text);
  place.key = "gemini_session:session";
  place.raw = &header_view;
  chat.header(root, std::move(place), sink);
  if (!has_messages) {
    maker.diagnose(sink, DiagnosticCode::InvalidFieldType, Severity::Warning, first_value_line(document->text),
                   "Gemini CLI session without a 'messages' array.");
  } else {
    std::size_t count = 0;
    for ([[maybe_unused]] const JsonView message : messages->children()) ++count;
    const auto lines = record_lines(document->text, "messages", count);
    std::size_t index = 0;
    for (const JsonView message : messages->children()) {
      RecordPlace own;
      own.line = lines[index];
      const std::string key = "gemini_session:message:" + std::to_string(index);
      own.key = key;
      if (message.is_object()) {
        chat.message(message, std::move(own), sink);
      } else {
        maker.diagnose(sink, DiagnosticCode::UnknownRecord, Severity::Warning, own.line,
                       "Message " + std::to_string(index) + " of the session document is not an object.");
      }
      ++index;
    }
  }
  read.spans = chat.take_spans();
  read.project_hash = chat.project_hash();
  stamp_digest(out);
  return read;
}

}  // namespace vt::gemini
