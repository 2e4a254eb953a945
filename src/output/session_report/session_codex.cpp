// What Codex's records become in a session's model: prompts (the user
// message events where the rollout has them, its response items otherwise),
// answers and reasoning written twice joined into one item, tool calls and
// their outputs tied by call id, token counts per turn, models from the turn
// context, and the rest as context or records.
#include "output/session_report/session_builder.hpp"

#include "output/session_report/agent_records.hpp"

namespace vt::report {

namespace {

// The payload type of a Codex record type ("event_msg/user_message" →
// "user_message"); older rollouts have the bare name.
std::string_view codex_name(std::string_view type) {
  const auto slash = type.find('/');
  return slash == std::string_view::npos ? type : type.substr(slash + 1);
}

}  // namespace

void SessionBuilder::codex_tokens(const Event& event) {
  if (auto tokens = event_tokens(event)) {
    // The facts give each count's own amount: they add up.
    session_.turns.back().tokens += *tokens;
  } else if (event.raw) {
    // Running totals only grow; a record that sorts late (no timestamp)
    // may hold an older one.
    const auto totals = codex_running_totals(*event.raw);
    if (totals && (!have_running_ || totals->sum() >= running_.sum())) {
      running_ = *totals;
      have_running_ = true;
    }
  }
  housekeeping(event, "token count");
}

void SessionBuilder::codex_message(const Event& event, std::string_view role, const std::string& text) {
  if (role == "user") {
    if (facts_.typed_texts.contains(text)) return prompt_copy(event, text);
    if (event.origin == PromptOrigin::Command) {
      push(ItemKind::Context, event, "command", text);
      return;
    }
    if (facts_.has_typed_events || event.origin == PromptOrigin::Injected ||
        (!event.origin && codex_injected_text(text))) {
      push(ItemKind::Context, event, "injected user message", text);
      return;
    }
    return prompt(event, text);
  }
  if (role == "developer" || role == "system") {
    push(ItemKind::Context, event, std::string(role) + " message", text);
    return;
  }
  if (joined_copy(event, messages_, text)) return;
  push(ItemKind::AgentMessage, event, "", text);
  messages_[text] = last_ref();
}

void SessionBuilder::codex(const Event& event) {
  const std::string_view type = record_type(event);
  const std::string_view name = codex_name(type);
  if (const auto branch = codex_git_branch(event)) add_distinct(session_.git_branches, *branch);
  const Json* payload = codex_payload(event);
  const std::string_view role = [&] {
    if (payload == nullptr) return std::string_view();
    const auto found = payload->find("role");
    return found != payload->end() && found->is_string() ? std::string_view(found->get_ref<const std::string&>())
                                                         : std::string_view();
  }();
  switch (event.event_type) {
    case EventType::PromptInput: {
      const std::string text = codex_message_text(event).value_or("");
      if (event.source.artifact_kind == ArtifactKind::History) {
        if (!facts_.has_rollout) return history_prompt(event, text);
        if (facts_.typed_texts.contains(text)) return prompt_copy(event, text);
        push(ItemKind::Context, event, "prompt history", text);
      } else if (name == "user_message") {
        prompt(event, text);
      } else {
        codex_message(event, "user", text);
      }
      return;
    }
    case EventType::DeveloperMessage:
      codex_message(event, "developer", codex_message_text(event).value_or(""));
      return;
    case EventType::AgentMessage:
      codex_message(event, "assistant", codex_message_text(event).value_or(""));
      return;
    case EventType::AgentReasoning: {
      const std::string text = codex_reasoning_text(event).value_or("");
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
      if (text.empty()) {
        push(ItemKind::Reasoning, event, "reasoning kept encrypted only", "");
      } else {
        push(ItemKind::Reasoning, event, "", text);
      }
      if (!text.empty()) reasoning_.push_back(last_ref());
      return;
    }
    case EventType::ToolCall:
      tool_call(event, codex_call_line(event), codex_call_id(event));
      return;
    case EventType::ToolResult: {
      const std::optional<ToolOutput> output = codex_tool_output(event);
      std::string label(name == "function_call_output" || name == "custom_tool_call_output" ? "result" : name);
      if (output && output->failed) label = "error";
      if (output && output->exit_code) label += " \xC2\xB7 exit " + std::to_string(*output->exit_code);
      std::optional<std::string> id = codex_call_id(event);
      if (!id) id = std::string();
      tool_result(event, id, std::move(label), output ? output->text : std::string());
      return;
    }
    case EventType::TokenUsage:
      codex_tokens(event);
      return;
    case EventType::TaskState:
      if (const auto model = name == "turn_context" ? codex_model(event) : std::nullopt) {
        add_distinct(session_.models, *model);
      }
      housekeeping(event, type);
      return;
    case EventType::Attachment:
      attachment(event, "attachment");
      return;
    case EventType::Unknown:
      // Older rollouts write messages without an envelope.
      if (payload != nullptr && (role == "user" || role == "assistant" || role == "developer")) {
        if (const auto text = codex_message_text(event)) return codex_message(event, role, *text);
      }
      housekeeping(event, type.empty() ? "unknown" : type);
      return;
    default:
      if (shared_kind(event, type)) return;
      housekeeping(event, type.empty() ? wire_name(event.event_type) : type);
      return;
  }
}

}  // namespace vt::report
