// What the records of any other agent (Gemini CLI, Copilot CLI, Aider…)
// become in a session's model, from the events' own fields and facts alone:
// prompts by their origin (the history's only where no conversation was
// read), answers (one item for a text written twice in a turn), reasoning,
// tool calls and results tied by the call id of their facts, tokens and
// cost from the facts, and the rest as context or records.
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

void SessionBuilder::generic(const Event& event) {
  if (event.facts.git_branch) add_distinct(session_.git_branches, *event.facts.git_branch);
  const std::string text = event.message.value_or("");
  switch (event.event_type) {
    case EventType::PromptInput:
      if (event.source.artifact_kind == ArtifactKind::History && facts_.has_conversation) {
        if (facts_.typed_texts.contains(text)) return prompt_copy(event, text);
        push(ItemKind::Context, event, "prompt history", text);
      } else if (event.origin == PromptOrigin::Command) {
        push(ItemKind::Context, event, "command", text);
      } else if (event.origin == PromptOrigin::Injected) {
        push(ItemKind::Context, event, "injected", text);
      } else {
        prompt(event, text);
      }
      return;
    case EventType::DeveloperMessage:
      push(ItemKind::Context, event, "injected", text);
      return;
    case EventType::AgentMessage:
      if (joined_copy(event, messages_, text)) return;
      push(ItemKind::AgentMessage, event, event.facts.sidechain ? "sub-agent" : "", text);
      messages_[text] = last_ref();
      return;
    case EventType::AgentReasoning:
      push(ItemKind::Reasoning, event, text.empty() ? "reasoning not kept" : "", text);
      return;
    case EventType::ToolCall:
      tool_call(event, generic_call_line(event),
                event.facts.tool_call_id ? std::optional<std::string>(event.facts.tool_call_id->str()) : std::nullopt);
      return;
    case EventType::ToolResult: {
      std::string label = event.facts.tool_error.value_or(false) ? "error" : "result";
      if (event.facts.exit_code) label += " \xC2\xB7 exit " + std::to_string(*event.facts.exit_code);
      // Without a call id no guess is made: the result stands alone.
      tool_result(event, std::string(event.facts.tool_call_id ? event.facts.tool_call_id->str() : std::string()),
                  std::move(label), text);
      return;
    }
    case EventType::TokenUsage:
      if (const auto tokens = event_tokens(event)) session_.turns.back().tokens += *tokens;
      housekeeping(event, "usage");
      return;
    case EventType::Attachment:
      attachment(event, "attachment");
      return;
    default: {
      const std::string_view type = record_type(event);
      if (shared_kind(event, type)) return;
      housekeeping(event, type.empty() ? wire_name(event.event_type) : type);
      return;
    }
  }
}

}  // namespace vt::report
