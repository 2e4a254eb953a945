// A saved chat (`checkpoint-<tag>.json`, written by `/chat save`): a JSON
// array of the model's contents, `{role: "user"|"model", parts: […]}`, with
// no time, session or model. Each part is one event (a user text a prompt, a
// model text an agent message or, marked `thought`, reasoning, a function
// call a tool call, a function response its tool result), in the contents'
// order, on the line where its content starts, at the file's modification
// time (`filesystem_modified`). A call carries no id: it takes the id of
// the first response of its name that follows it.
#include <deque>
#include <string>

#include "core/tool_call_text.hpp"
#include "gemini_cli/document_file.hpp"
#include "gemini_cli/file_readers.hpp"
#include "gemini_cli/tool_text.hpp"
#include "hash/file_metadata.hpp"
#include "jsonl/fields.hpp"

namespace vt::gemini {

namespace {

bool is_true(const FieldRef& field) { return field && field->is_boolean() && field->boolean(); }

class SavedChat {
 public:
  SavedChat(EventMaker& maker, RecordSink& sink) : maker_(maker), sink_(sink) {}

  void content(JsonView content, RecordPlace place) {
    const auto role = get_string(content, "role");
    const FieldRef parts = get_field(content, "parts");
    place.raw = &content;
    if (!parts || !parts->is_array() || parts->children().begin() == parts->children().end()) {
      maker_.add_unknown(place, role ? *role : "unknown", std::nullopt, "Gemini CLI saved content without parts",
                         sink_);
      return;
    }
    const bool user = role == "user";
    std::uint64_t ordinal = 0;
    for (const JsonView part : parts->children()) {
      this->part(part, user, place, ordinal++);
    }
  }

 private:
  void part(JsonView part, bool user, const RecordPlace& place, std::uint64_t ordinal) {
    if (const auto text = get_string(part, "text")) {
      if (is_true(get_field(part, "thought"))) {
        maker_.add(place, EventType::AgentReasoning, "model/thought", ordinal, sink_).message = *text;
      } else if (user) {
        Event& event = maker_.add(place, EventType::PromptInput, "user", ordinal, sink_);
        event.message = *text;
        event.origin = user_text_origin(*text);
      } else {
        maker_.add(place, EventType::AgentMessage, "model/text", ordinal, sink_).message = *text;
      }
      return;
    }
    if (const FieldRef call = get_object(part, "functionCall")) {
      const auto name = get_string(*call, "name");
      const FieldRef args = get_field(*call, "args");
      const std::optional<std::string> argument = call_argument(args ? &*args : nullptr);
      Event& event = maker_.add(place, EventType::ToolCall, "model/function_call", ordinal, sink_);
      event.message = call_message(name.value_or(""), argument);
      event.facts.tool_name = text_of(name);
      event.facts.tool_call_id = text_of(get_string(*call, "id"));
      event.facts.tool_input = argument;
      pending_.push_back(sink_.events.size() - 1);
      return;
    }
    if (const FieldRef response = get_object(part, "functionResponse")) {
      const auto name = get_string(*response, "name");
      const auto id = get_string(*response, "id");
      const FieldRef body = get_field(*response, "response");
      Event& event = maker_.add(place, EventType::ToolResult, "user/function_response", ordinal, sink_);
      event.message = response_text(body ? &*body : nullptr);
      event.facts.tool_name = text_of(name);
      event.facts.tool_call_id = text_of(id);
      if (body && body->is_object()) {
        if (get_field(*body, "error")) event.facts.tool_error = true;
        else if (get_field(*body, "output")) event.facts.tool_error = false;
      }
      link(name, id);
      return;
    }
    const std::string kind = part.is_object() && part.children().begin() != part.children().end()
                                 ? std::string((*part.children().begin()).key())
                                 : std::string(json_type_name(part));
    const std::string shown = std::string(user ? "user/" : "model/") + kind;
    if (kind == "inlineData" || kind == "fileData") {
      maker_.add(place, EventType::Attachment, shown, ordinal, sink_);
      return;
    }
    maker_.add_unknown(place, shown, ordinal, "Unmapped Gemini CLI content part: " + shown, sink_);
  }

  // The first call still waiting for its response, of the response's name,
  // takes the response's id when it has none.
  void link(std::optional<std::string_view> name, std::optional<std::string_view> id) {
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      Event& call = sink_.events[*it];
      if (call.facts.tool_name != (name ? OptionalShared(*name) : OptionalShared())) continue;
      if (!call.facts.tool_call_id && id) call.facts.tool_call_id = *id;
      pending_.erase(it);
      return;
    }
  }

  EventMaker& maker_;
  RecordSink& sink_;
  std::deque<std::size_t> pending_;  // calls (event positions) without a response yet
};

}  // namespace

Result<FileRead> read_checkpoint(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                 const ParseOptions& options) {
  std::optional<SavedChat> chat;
  return read_array_document(
      path, base_dir, options, ArtifactKind::GeminiCheckpoint, {"saved chat", "Content"},
      [&](EventMaker& maker, RecordSink& sink) {
        if (const auto metadata = read_file_metadata(path)) maker.note_file_time(metadata->times.modified);
        chat.emplace(maker, sink);
      },
      [&](JsonView content, RecordPlace place, std::size_t index, EventMaker& maker, RecordSink&) {
        const std::string key = "gemini_checkpoint:" + std::to_string(index);
        place.key = key;
        maker.set_file_time(place);
        chat->content(content, std::move(place));
      });
}

}  // namespace vt::gemini
