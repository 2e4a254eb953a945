// The record level of the prompt history: one parsed line into its prompt
// event and its attachment events. Wrongly typed fields are reported and
// left out; the record itself is never dropped.
#include "claude/history/claude_history.hpp"
#include "claude/history/history_warning.hpp"
#include "claude/history/ms_timestamp.hpp"
#include "claude/history/pasted_contents.hpp"
#include "hash/event_id.hpp"
#include "jsonl/fields.hpp"

namespace vt::claude {

namespace {

// A member that must be a string when present; any other type is reported.
std::optional<std::string> record_string(JsonView record, std::string_view key,
                                         const std::string& relative_path, std::uint64_t line,
                                         HistoryRecordOutput& out) {
  const FieldRef value = get_field(record, key);
  if (value == nullptr) return std::nullopt;
  if (value->is_string()) return std::string(value->string());
  std::string what = "Field '";
  what.append(key).append("'");
  out.diagnostics.push_back(history_warning(DiagnosticCode::InvalidFieldType,
                                            type_mismatch(what, "string", json_type_name(*value)),
                                            relative_path, line));
  return std::nullopt;
}

// The prompt text: `display` (reported when of the wrong type), else
// `message`, else `query`, whichever is first a string.
std::optional<std::string> prompt_text(JsonView record, const std::string& relative_path, std::uint64_t line,
                                       HistoryRecordOutput& out) {
  if (auto display = record_string(record, "display", relative_path, line, out)) return display;
  for (const std::string_view fallback : {"message", "query"}) {
    if (const auto text = get_string(record, fallback)) return std::string(*text);
  }
  return std::nullopt;
}

}  // namespace

HistoryRecordOutput parse_history_record(JsonView value, const SharedString& relative_path,
                                         std::uint64_t line_number, bool include_raw,
                                         HistoryFileContext& context) {
  HistoryRecordOutput out;
  if (!value.is_object()) {
    out.diagnostics.push_back(history_warning(DiagnosticCode::UnknownRecord,
                                              "Top-level value is not a JSON object, skipping", relative_path,
                                              line_number));
    return out;
  }

  Event prompt;
  prompt.provider = Provider::ClaudeCode;
  prompt.event_type = EventType::PromptInput;
  prompt.event_id = context.ids.make(Provider::ClaudeCode, ArtifactKind::History, relative_path,
                            "history:" + std::to_string(line_number));
  prompt.message = prompt_text(value, relative_path, line_number, out);
  prompt.session_id = record_string(value, "sessionId", relative_path, line_number, out);
  prompt.working_directory = record_string(value, "project", relative_path, line_number, out);

  const FieldRef stamp = get_field(value, "timestamp");
  NormalizedTimestamp time = normalize_ms_timestamp(stamp, relative_path, line_number);
  prompt.timestamp = time.timestamp;
  prompt.timestamp_source = time.source;
  prompt.warnings.assign(std::make_move_iterator(time.warnings.begin()),
                         std::make_move_iterator(time.warnings.end()));
  if (stamp != nullptr) prompt.timestamp_raw = raw_timestamp(*stamp);

  prompt.source = SourceRef{ArtifactKind::History, context.history_type, relative_path, line_number,
                            std::nullopt};
  if (include_raw) prompt.raw = held_copy(value);

  const FieldRef pasted = get_field(value, "pastedContents");
  if (pasted != nullptr && pasted->is_object()) {
    append_pasted_contents(*pasted, prompt, relative_path, line_number,
                           context, out);
  } else if (pasted != nullptr) {
    out.diagnostics.push_back(history_warning(
        DiagnosticCode::InvalidFieldType,
        type_mismatch("Field 'pastedContents'", "object", json_type_name(*pasted)), relative_path, line_number));
  }
  // The prompt leads its attachments.
  out.events.insert(out.events.begin(), std::move(prompt));
  return out;
}

}  // namespace vt::claude
