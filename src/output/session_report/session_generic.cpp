// What the events of any other agent (Gemini CLI, Copilot CLI, Aider…)
// become in a session's model: prompts as the count rule counts them,
// answers (one item for a text written twice in a turn), reasoning, tool
// calls and results tied by the call id of their facts, usage, and the rest
// as context or records.
#include "output/session_report/session_builder.hpp"

namespace vt::report {

namespace {

std::string generic_call_line(const Event& event) {
  if (!event.facts.tool_name) return event.message.value_or("tool");
  std::string line = event.facts.tool_name->str();
  if (event.facts.tool_input && !event.facts.tool_input->empty()) line += ": " + event.facts.tool_input->str();
  return line;
}

}  // namespace

void SessionBuilder::generic(const Event& event, EventCount counted) {
  const std::string text = event.message.value_or("");
  switch (event.event_type) {
    case EventType::PromptInput:
      if (event.origin == PromptOrigin::Command) return prompt_input(event, ItemKind::Context, "command");
      return prompt_input(event, ItemKind::Context, event.origin == PromptOrigin::Injected ? "injected" : "prompt");
    case EventType::DeveloperMessage:
      push(ItemKind::Context, event, "injected", text);
      return;
    case EventType::AgentMessage:
      if (joined_copy(event, messages_, text)) return;
      push(ItemKind::AgentMessage, event, event.facts.sidechain.value_or(false) ? "sub-agent" : "", text);
      messages_[text] = last_ref();
      return;
    case EventType::AgentReasoning:
      push(ItemKind::Reasoning, event, text.empty() ? "reasoning not kept" : "", text);
      return;
    case EventType::ToolCall:
      tool_call(event, generic_call_line(event));
      return;
    case EventType::ToolResult:
      tool_result(event, result_label(event, "result"), text);
      return;
    case EventType::TokenUsage:
      usage_record(event, counted, "usage");
      return;
    case EventType::Attachment:
      attachment(event, "attachment");
      return;
    default: {
      const std::string_view type = record_type(event);
      if (shared_kind(event, type)) return;
      if (event.facts.usage) return usage_record(event, counted, type.empty() ? wire_name(event.event_type) : type);
      housekeeping(event, type.empty() ? wire_name(event.event_type) : type);
      return;
    }
  }
}

}  // namespace vt::report
