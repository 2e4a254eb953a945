// What Codex's events become in a session's model: prompts (the user
// message events where the rollout has them, its response items otherwise,
// as the count rule counts them; the other copy joins as a place), answers
// and reasoning written twice joined into one item, tool calls and their
// outputs tied by call id, token counts, and the rest as context or records.
#include "output/session_report/session_builder.hpp"

namespace vt::report {

namespace {

// The payload type of a Codex record type ("event_msg/user_message" →
// "user_message"); older rollouts have the bare name.
std::string_view codex_name(std::string_view type) {
  const auto slash = type.find('/');
  return slash == std::string_view::npos ? type : type.substr(slash + 1);
}

}  // namespace

void SessionBuilder::codex_message(const Event& event, const std::string& text) {
  if (joined_copy(event, messages_, text)) return;
  push(ItemKind::AgentMessage, event, "", text);
  messages_[text] = last_ref();
}

void SessionBuilder::codex(const Event& event, EventCount counted) {
  const std::string_view type = record_type(event);
  const std::string_view name = codex_name(type);
  const std::string text = event.message.value_or("");
  switch (event.event_type) {
    case EventType::PromptInput:
      if (event.origin == PromptOrigin::Command) return prompt_input(event, ItemKind::Context, "command");
      if (event.origin == PromptOrigin::Injected) return prompt_input(event, ItemKind::Context, "injected user message");
      return prompt_input(event, ItemKind::Context, "user message");
    case EventType::DeveloperMessage:
      push(ItemKind::Context, event, "developer message", text);
      return;
    case EventType::AgentMessage:
      codex_message(event, text);
      return;
    case EventType::AgentReasoning: {
      // The event message repeats the summary's heading: one item, two
      // places. The copy follows closely: only the latest few are compared.
      const std::size_t recent = reasoning_.size() > 4 ? reasoning_.size() - 4 : 0;
      for (std::size_t r = reasoning_.size(); r-- > recent;) {
        Item& item = at(reasoning_[r]);
        if (!text.empty() && (item.body.text.find(text) != std::string::npos || text.find(item.body.text) != std::string::npos)) {
          item.places.push_back(place_of(event));
          shown_as(event, reasoning_[r]);
          if (text.size() > item.body.text.size() && !options_.redact) item.body = text_of(text, false);
          return;
        }
      }
      push(ItemKind::Reasoning, event, text.empty() ? "reasoning kept encrypted only" : "", text);
      if (!text.empty()) reasoning_.push_back(last_ref());
      return;
    }
    case EventType::ToolCall: {
      std::string line = event.facts.tool_name ? event.facts.tool_name->str() : text;
      if (event.facts.tool_input && !event.facts.tool_input->empty()) line += ": " + event.facts.tool_input->str();
      tool_call(event, line.empty() ? std::string("tool") : line);
      return;
    }
    case EventType::ToolResult: {
      const bool output = name == "function_call_output" || name == "custom_tool_call_output";
      tool_result(event, result_label(event, output ? std::string_view("result") : name), text);
      return;
    }
    case EventType::TokenUsage:
      usage_record(event, counted, "token count");
      return;
    case EventType::Attachment:
      attachment(event, "attachment");
      return;
    default:
      if (shared_kind(event, type)) return;
      housekeeping(event, type.empty() ? wire_name(event.event_type) : type);
      return;
  }
}

}  // namespace vt::report
