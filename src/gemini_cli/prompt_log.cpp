// The prompt log (`logs.json`): a JSON array of what the person sent, many
// sessions in one file, `{sessionId, messageId, type: "user", message,
// timestamp}`. Each entry is one `prompt_input` (origin by its text), on the
// line where the entry starts; an entry of another type is `unknown`
// (warned). A document that is not an array is not read as a prompt log.
#include <string>

#include "gemini_cli/document_file.hpp"
#include "gemini_cli/file_readers.hpp"
#include "gemini_cli/tool_text.hpp"
#include "jsonl/fields.hpp"

namespace vt::gemini {

namespace {

// The entry's `messageId` as text (a number in older logs, a string in newer).
std::optional<std::string> message_id(JsonView entry) {
  const FieldRef id = get_field(entry, "messageId");
  if (!id) return std::nullopt;
  if (id->is_string()) return std::string(id->string());
  if (const auto number = exact_int64(*id)) return std::to_string(*number);
  return std::nullopt;
}

}  // namespace

Result<FileRead> read_prompt_log(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                 const ParseOptions& options) {
  return read_array_document(
      path, base_dir, options, ArtifactKind::GeminiLog, {"prompt log", "Entry"}, [](EventMaker&, RecordSink&) {},
      [](JsonView entry, RecordPlace place, std::size_t index, EventMaker& maker, RecordSink& sink) {
        const std::string key = "gemini_log:" + std::to_string(index);
        place.key = key;
        place.session = maker.shared(get_string(entry, "sessionId"));
        place.record_id = message_id(entry);
        place.raw = &entry;
        const FieldRef timestamp = get_field(entry, "timestamp");
        maker.set_time(place, timestamp ? &*timestamp : nullptr, "timestamp", sink);
        const auto type = get_string(entry, "type");
        const auto text = get_string(entry, "message");
        if (type != "user") {
          const std::string shown = type ? std::string(*type) : std::string("unknown");
          maker.add_unknown(place, shown, std::nullopt, "Unmapped Gemini CLI prompt log entry type: " + shown, sink);
          return;
        }
        if (!text) {
          maker.add_unknown(place, "user", std::nullopt, "Gemini CLI prompt log entry without a message", sink);
          return;
        }
        Event& event = maker.add(place, EventType::PromptInput, "user", std::nullopt, sink);
        event.message = *text;
        event.origin = user_text_origin(*text);
      });
}

}  // namespace vt::gemini
