#include "claude/history/pasted_contents.hpp"

#include "claude/history/history_warning.hpp"
#include "claude/history/paste_keys.hpp"
#include "hash/event_id.hpp"
#include "hash/sha256.hpp"
#include "jsonl/fields.hpp"

namespace vt::claude {

namespace {

// A member that must be a string when present; any other type is reported
// and counts as absent.
std::optional<std::string> entry_string(JsonView entry, std::string_view member, const std::string& key,
                                        const std::string& relative_path, std::uint64_t line,
                                        HistoryRecordOutput& out) {
  const FieldRef value = get_field(entry, member);
  if (value == nullptr) return std::nullopt;
  if (value->is_string()) return std::string(value->string());
  std::string what = "pastedContents[" + key + "].";
  what.append(member);
  out.diagnostics.push_back(history_warning(DiagnosticCode::InvalidFieldType,
                                            type_mismatch(what, "string", json_type_name(*value)),
                                            relative_path, line, key));
  return std::nullopt;
}

// What the history alone says of a pasted item; the caches may add to it.
Artifact paste_artifact(std::string media_type, std::optional<std::string> content, bool has_hash) {
  Artifact artifact;
  artifact.media_type = std::move(media_type);
  if (content) {
    artifact.size = content->size();
    artifact.sha256 = hex_lower(sha256_of(*content));
    artifact.content = std::move(content);
    artifact.content_encoding = ContentEncoding::Utf8;
    // Inline text is the paste itself, unless a cached copy still has to be found.
    artifact.reference_status = has_hash ? ReferenceStatus::Missing : ReferenceStatus::Resolved;
  } else if (has_hash) {
    artifact.reference_status = ReferenceStatus::Missing;
  }
  return artifact;
}

bool is_image_type(std::string_view type) { return type.starts_with("image"); }

}  // namespace

void append_pasted_contents(JsonView entries, const Event& prompt,
                            const SharedString& relative_path, std::uint64_t line_number,
                            HistoryFileContext& context, HistoryRecordOutput& out) {
  const std::string line_key = "history:" + std::to_string(line_number) + ":paste:";
  std::uint64_t ordinal = 0;
  for (const JsonView& entry : ordered_paste_entries(entries)) {
    const std::string key(entry.key());
    const std::uint64_t position = ordinal++;  // skipped entries count too
    if (!entry.is_object()) {
      out.diagnostics.push_back(history_warning(DiagnosticCode::InvalidFieldType,
                                                "pastedContents[" + key + "] is not an object, skipping",
                                                relative_path, line_number, key));
      continue;
    }
    std::string type = entry_string(entry, "type", key, relative_path, line_number, out).value_or("text");
    std::optional<std::string> content = entry_string(entry, "content", key, relative_path, line_number, out);
    std::optional<std::string> hash = entry_string(entry, "contentHash", key, relative_path, line_number, out);

    Event event;
    event.provider = Provider::ClaudeCode;
    event.event_type = is_image_type(type) ? EventType::ImageAttachment : EventType::PasteAttachment;
    event.event_id = context.ids.make(Provider::ClaudeCode, ArtifactKind::History, relative_path, line_key + key, position);
    event.session_id = prompt.session_id;
    event.working_directory = prompt.working_directory;
    event.timestamp = prompt.timestamp;
    event.timestamp_source = prompt.timestamp ? TimestampSource::ReferencedEvent : TimestampSource::None;
    event.artifact = paste_artifact(std::move(type), std::move(content), hash.has_value());
    event.source = SourceRef{ArtifactKind::History, context.pasted_type, relative_path, line_number,
                             std::move(hash)};
    out.events.push_back(std::move(event));
  }
}

}  // namespace vt::claude
