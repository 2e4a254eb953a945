// What Claude Code's events become in a session's model: prompts (the
// blocks of the records the count rule counts as typed), editor blocks folded
// by file name, answers, thinking, tool calls and their results tied by call
// id, usage, titles, and the rest as context or records.
#include "output/session_report/session_builder.hpp"

namespace vt::report {

namespace {

// Attachments that carry a file (named by what follows "type: ").
bool claude_file_attachment(std::string_view text) {
  for (const std::string_view type : {"file: ", "edited_text_file: ", "new_file: ", "nested_memory: "}) {
    if (text.starts_with(type)) return true;
  }
  return false;
}

// "IDE: opened aisuite.go", "IDE: selection in aisuite.go": the file an
// editor block names ("… the file /a/b.go in the IDE", "… from /a/b.go:").
std::string claude_ide_label(std::string_view text) {
  const bool selection = text.starts_with("<ide_selection>");
  std::string_view rest = text.substr(0, std::min(text.find('\n'), text.size()));
  std::string_view file;
  for (const std::string_view mark : {" the file ", " from "}) {
    const std::size_t at = rest.find(mark);
    if (at == std::string_view::npos) continue;
    file = rest.substr(at + mark.size());
    file = file.substr(0, std::min(file.find(" in the IDE"), file.size()));
    if (file.ends_with(':')) file.remove_suffix(1);
    break;
  }
  const std::size_t slash = file.find_last_of("/\\");
  if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
  std::string label = selection ? "IDE: selection" : "IDE: opened file";
  if (!file.empty()) label += (selection ? " in " : " ") + first_line(file, kTitleLimit);
  return label;
}

}  // namespace

void SessionBuilder::claude(const Event& event, EventCount counted) {
  const std::string_view type = record_type(event);
  const std::string_view base = base_record_type(type);
  const bool sidechain = base.size() != type.size();
  const std::string text = event.message.value_or("");
  switch (event.event_type) {
    case EventType::PromptInput:
      if (base == "user/ide_context" && !sidechain) {
        return prompt_input(event, ItemKind::Injected, options_.redact ? "IDE context" : claude_ide_label(text));
      }
      if (base == "user/text" && sidechain) return prompt_input(event, ItemKind::AgentMessage, "sub-agent prompt");
      if (base == "user/command") return prompt_input(event, ItemKind::Context, "command");
      if (base == "user/command_output") return prompt_input(event, ItemKind::Context, "command output");
      return prompt_input(event, ItemKind::Context, std::string(base));
    case EventType::DeveloperMessage:
      push(ItemKind::Context, event, base == "user/meta" ? "injected" : std::string(base), text);
      return;
    case EventType::AgentMessage:
      push(ItemKind::AgentMessage, event, "", text);
      return;
    case EventType::AgentReasoning:
      push(ItemKind::Reasoning, event, text.empty() ? "thinking not kept (signature only)" : "", text);
      return;
    case EventType::ToolCall:
      // The message keeps what the call's line leaves out (a todo list's items).
      if (text.empty() && event.facts.tool_name) {
        std::string line = event.facts.tool_name->str();
        if (event.facts.tool_input) line += ": " + event.facts.tool_input->str();
        return tool_call(event, line);
      }
      return tool_call(event, text);
    case EventType::ToolResult:
      if (base == "system/local_command") {
        push(ItemKind::Context, event, "command output", text);
        return;
      }
      tool_result(event, result_label(event, "result"), text);
      return;
    case EventType::TokenUsage:
      usage_record(event, counted, "usage");
      return;
    case EventType::Attachment:
      if (claude_file_attachment(text)) {
        push(ItemKind::Injected, event, from_text(text, first_line(text, kTitleLimit)), text);
      } else {
        push(ItemKind::Context, event, std::string(base), text);
      }
      return;
    default:
      if (shared_kind(event, base)) return;
      if (base == "custom-title" && !sidechain) custom_title_ = from_text(text, first_line(text, kTitleLimit));
      if (base == "ai-title" && !sidechain) ai_title_ = from_text(text, first_line(text, kTitleLimit));
      if (event.facts.usage) return usage_record(event, counted, type.empty() ? wire_name(event.event_type) : type);
      housekeeping(event, type.empty() ? wire_name(event.event_type) : type);
      return;
  }
}

}  // namespace vt::report
