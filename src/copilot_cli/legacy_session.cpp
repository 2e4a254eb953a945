#include "copilot_cli/legacy_session.hpp"

#include "copilot_cli/legacy_reader.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/line_json.hpp"
#include "jsonl/relative_path.hpp"
#include "jsonl/whole_document.hpp"

namespace vt::copilot {

std::optional<std::string> legacy_session_id(std::string_view name) {
  if (!name.starts_with("session_") || !name.ends_with(".json")) return std::nullopt;
  name = name.substr(8, name.size() - 8 - 5);
  const std::size_t cut = name.rfind('_');
  if (cut == std::string_view::npos || cut == 0 || cut + 1 == name.size()) return std::nullopt;
  for (const char c : name.substr(cut + 1)) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return std::string(name.substr(0, cut));
}

Result<FileRecords> read_legacy_session(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                        const ParseOptions& options) {
  const SharedString relative_path(relative_path_for(path, base_dir));
  const SourceRef source{ArtifactKind::SessionLog, std::nullopt, relative_path, std::nullopt, std::nullopt};
  return read_json_document_records(path, options, source, "session document", [&](FileRecords& out, JsonView value) {
    const auto report = [&](DiagnosticCode code, Severity severity, std::string message) {
      out.diagnostics.push_back(Diagnostic{code, severity, source, std::move(message)});
    };
    const FieldRef timeline = value.is_object() ? get_field(value, "timeline") : FieldRef();
    const FieldRef chat = value.is_object() ? get_field(value, "chatMessages") : FieldRef();
    if (!(timeline && timeline->is_array()) && !(chat && chat->is_array())) {
      report(DiagnosticCode::UnknownRecord, Severity::Warning,
             "Not a Copilot CLI session document (no 'timeline' or 'chatMessages' array), skipping.");
      return;
    }
    LegacyReader reader(out, relative_path, options);
    reader.start(value, OptionalShared(legacy_session_id(path.filename().string())));
    const auto each = [&](const FieldRef& list, std::string_view what, auto&& read_one) {
      if (!list || !list->is_array()) return;
      std::size_t index = 0;
      for (const JsonView item : list->children()) {
        if (item.is_object()) {
          read_one(item, index);
        } else {
          report(DiagnosticCode::UnknownRecord, Severity::Warning,
                 std::string(what) + " " + std::to_string(index) + " of the session document is not an object.");
        }
        ++index;
      }
    };
    each(timeline, "Timeline entry", [&](JsonView item, std::size_t i) { reader.timeline_entry(item, i); });
    reader.begin_chat();
    each(chat, "Chat message", [&](JsonView item, std::size_t i) { reader.chat_message(item, i); });
  });
}

}  // namespace vt::copilot
