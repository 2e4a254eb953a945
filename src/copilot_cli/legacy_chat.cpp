// The chat messages of a legacy Copilot CLI session document: what the
// model saw, each part kept as a copy of the timeline entry it repeats.
#include "copilot_cli/legacy_reader.hpp"

#include "core/prompt_origin.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/json_parse.hpp"

namespace vt::copilot {

void LegacyReader::chat_message(JsonView message, std::size_t index) {
  const std::string_view role = get_string(message, "role").value_or("unknown");
  const std::string record_type = "chat/" + std::string(role);
  const Place place{"copilot_legacy:message:" + std::to_string(index), record_type, std::nullopt, std::nullopt,
                    TimestampSource::None, message};
  const OptionalShared content = text_of(message, "content");
  if (role == "user") {
    Event& event = add(place, EventType::PromptInput, std::nullopt);
    event.message = content;
    event.origin = prompt_origin(event);
    const std::string text = content.value_or("");
    as_copy(event, users_.take(std::string(typed_part(text))));
    return;
  }
  if (role == "tool") {
    Event& event = add(place, EventType::ToolResult, std::nullopt);
    event.message = content;
    event.facts.tool_call_id = text_of(message, "tool_call_id");
    std::optional<std::size_t> original;
    if (event.facts.tool_call_id) {
      if (const auto found = results_.find(event.facts.tool_call_id->str()); found != results_.end()) {
        original = found->second;
        results_.erase(found);
      }
    }
    if (original) event.facts.tool_name = out_.events[*original].facts.tool_name;
    as_copy(event, original);
    return;
  }
  if (role != "assistant") {
    Event& event = add(place, EventType::Unknown, std::nullopt);
    event.message = content;
    event.warnings.push_back(SharedString("Unmapped Copilot CLI chat message role: " + std::string(role)));
    as_copy(event, std::nullopt);
    return;
  }
  std::uint64_t ordinal = 0;
  const FieldRef calls = get_field(message, "tool_calls");
  const bool any_calls = calls && calls->is_array() && calls->children().begin() != calls->children().end();
  if (content.value_or("").find_first_not_of(" \t\r\n") != std::string::npos || !any_calls) {
    Event& event = add(place, EventType::AgentMessage, ordinal++);
    event.message = content;
    event.facts.model = model_;
    const std::string own = content.value_or("");
    as_copy(event, texts_.take(std::string(trimmed(own))));
  }
  if (!any_calls) return;
  for (const JsonView call : calls->children()) {
    Event& event = add(place, EventType::ToolCall, ordinal++);
    const FieldRef function = get_object(call, "function");
    const std::string_view name = function ? get_string(*function, "name").value_or("") : "";
    // The arguments are a JSON text of their own.
    std::optional<Json> arguments;
    if (const auto text = function ? get_string(*function, "arguments") : std::nullopt) {
      if (auto parsed = parse_json_text(*text)) arguments = std::move(*parsed);
    }
    JsonTape tape;
    if (arguments) tape.assign(*arguments);
    const JsonView view(tape, 0);
    CallText shown = call_text(name, arguments ? &view : nullptr);
    event.facts.tool_input = std::move(shown.argument);
    event.message = std::move(shown.message);
    event.facts.tool_name = OptionalShared(name);
    event.facts.tool_call_id = text_of(call, "id");
    event.facts.model = model_;
    std::optional<std::size_t> original;
    if (event.facts.tool_call_id) {
      if (const auto found = calls_.find(event.facts.tool_call_id->str()); found != calls_.end()) {
        original = found->second;
        calls_.erase(found);
      }
    }
    as_copy(event, original);
  }
}

}  // namespace vt::copilot
