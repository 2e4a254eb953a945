// What Claude Code's records become in a session's model: prompts typed in
// the transcript (or, without one, in the history), editor blocks folded by
// file name, answers, thinking, tool calls and results tied by call id,
// usage once per API message, titles, and the rest as context or records.
#include "output/session_report/session_builder.hpp"

#include "output/session_report/agent_records.hpp"

namespace vt::report {

namespace {

// Attachments that carry a file (named by what follows "type: ").
bool claude_file_attachment(std::string_view text) {
  for (const std::string_view type : {"file: ", "edited_text_file: ", "new_file: ", "nested_memory: "}) {
    if (text.starts_with(type)) return true;
  }
  return false;
}

// What an editor extension adds to a typed prompt as a text block of its own.
bool claude_ide_context(std::string_view text) {
  return text.starts_with("<ide_selection>") || text.starts_with("<ide_opened_file>");
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

void SessionBuilder::claude_tokens(const Event& event) {
  // The facts of the full reading; the usage message otherwise.
  std::optional<UsageMessage> usage;
  if (auto tokens = event_tokens(event)) {
    usage = UsageMessage{event.facts.model ? std::optional<std::string>(event.facts.model->str()) : std::nullopt,
                         std::move(*tokens)};
  } else {
    usage = parse_usage_message(event.message.value_or(""));
  }
  const bool first = !event.source.source_id || usage_ids_.insert(event.source.source_id->str()).second;
  if (usage && first) {
    session_.turns.back().tokens += usage->tokens;
    if (usage->model && *usage->model != "<synthetic>") add_distinct(session_.models, *usage->model);
  }
  housekeeping(event, first ? "usage" : "usage (repeated API message, counted once)");
}

void SessionBuilder::claude(const Event& event) {
  const std::string_view type = record_type(event);
  const std::string_view base = base_record_type(type);
  const bool sidechain = base.size() != type.size();
  if (const auto branch = claude_git_branch(event)) add_distinct(session_.git_branches, *branch);
  // Which block of its record an event is: the record's blocks of one kind
  // stay in order in the timeline.
  const std::string& path = event.source.relative_path.str();
  const std::uint64_t line = event.source.line_number.value_or(0);
  if (path != record_.first || line != record_.second) {
    record_ = {path, line};
    calls_in_record_ = results_in_record_ = 0;
  }
  const std::string text = event.message.value_or("");
  switch (event.event_type) {
    case EventType::PromptInput:
      if (event.source.artifact_kind == ArtifactKind::History) {
        if (!facts_.has_transcript) return history_prompt(event, text);
        if (facts_.typed_texts.contains(text)) return prompt_copy(event, text);
        push(ItemKind::Context, event, "prompt history", text);
      } else if ((base == "user/ide_context" || (base == "user/text" && claude_ide_context(text))) && !sidechain) {
        push(ItemKind::Injected, event, options_.redact ? "IDE context" : claude_ide_label(text), text);
        attached_record_ = record_;
      } else if (base == "user/text" && !sidechain && last_prompt_record_ == record_) {
        // More text blocks of the record that began the turn.
        push(ItemKind::Prompt, event, "", text);
      } else if (base == "user/text" && !sidechain) {
        prompt(event, text);
        last_prompt_record_ = record_;
      } else if (base == "user/text") {
        push(ItemKind::AgentMessage, event, "sub-agent prompt", text);
      } else {
        const bool command = base == "user/command" || base == "user/command_output";
        push(ItemKind::Context, event, command ? "command" : std::string(base), text);
      }
      return;
    case EventType::DeveloperMessage:
      push(ItemKind::Context, event, base == "user/meta" ? "injected" : std::string(base), text);
      return;
    case EventType::AgentMessage:
      push(ItemKind::AgentMessage, event, "", text);
      return;
    case EventType::AgentReasoning:
      if (text.empty()) {
        push(ItemKind::Reasoning, event, "thinking not kept (signature only)", "");
      } else {
        push(ItemKind::Reasoning, event, "", text);
      }
      return;
    case EventType::ToolCall:
      tool_call(event, text, claude_block_id(event, calls_in_record_++, false));
      return;
    case EventType::ToolResult: {
      if (base == "system/local_command") {
        push(ItemKind::Context, event, "command output", text);
        return;
      }
      std::optional<std::string> id = claude_block_id(event, results_in_record_++, true);
      if (!id && event.raw) id = std::string();  // kept raw without an id: no guessing
      tool_result(event, id, base == "user/tool_error" ? "error" : "result", text);
      return;
    }
    case EventType::TokenUsage:
      claude_tokens(event);
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
      housekeeping(event, type.empty() ? wire_name(event.event_type) : type);
      return;
  }
}

}  // namespace vt::report
