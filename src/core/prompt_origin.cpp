#include "core/prompt_origin.hpp"

#include <array>

namespace vt {

namespace {

// Blocks Codex puts before the conversation as role-user items.
constexpr std::array<std::string_view, 6> kCodexInjected = {
    "<environment_context>", "<user_instructions>", "# AGENTS.md instructions", "<INSTRUCTIONS>",
    "<turn_aborted>", "<recommended_plugins>"};

constexpr std::string_view kCodexShellCommand = "<user_shell_command>";

bool is_name_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool is_name_char(char c) {
  return is_name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':' || c == '.';
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// "/name" alone or followed by a blank; the name starts with a letter.
bool is_slash_command(std::string_view text) {
  if (text.size() < 2 || text[0] != '/' || !is_name_start(text[1])) return false;
  std::size_t end = 2;
  while (end < text.size() && is_name_char(text[end])) ++end;
  return end == text.size() || is_blank(text[end]);
}

PromptOrigin history_prompt_origin(std::string_view text) {
  return is_command_text(text) ? PromptOrigin::Command : PromptOrigin::Typed;
}

PromptOrigin codex_item_origin(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return PromptOrigin::Typed;
  text.remove_prefix(start);
  for (const std::string_view marker : kCodexInjected) {
    if (text.starts_with(marker)) return PromptOrigin::Injected;
  }
  if (text.starts_with(kCodexShellCommand)) return PromptOrigin::Command;
  return PromptOrigin::Typed;
}

PromptOrigin transcript_prompt_origin(std::string_view record_type) {
  if (record_type.starts_with("sidechain/")) return PromptOrigin::Injected;
  if (record_type == "user/command" || record_type == "user/command_output") return PromptOrigin::Command;
  if (record_type == "user/ide_context") return PromptOrigin::Injected;
  return PromptOrigin::Typed;
}

}  // namespace

bool is_command_text(std::string_view text) { return is_slash_command(text) || text.starts_with('!'); }

std::optional<PromptOrigin> prompt_origin(const Event& event) {
  if (event.event_type != EventType::PromptInput) return std::nullopt;
  const std::string_view message = event.message ? std::string_view(*event.message) : std::string_view();
  const std::string_view record_type =
      event.source.record_type ? std::string_view(*event.source.record_type) : std::string_view();
  switch (event.source.artifact_kind) {
    case ArtifactKind::History:
    case ArtifactKind::ChatLog: return history_prompt_origin(message);
    case ArtifactKind::Transcript: return transcript_prompt_origin(record_type);
    case ArtifactKind::Session:
      if (record_type == "event_msg/user_message") return PromptOrigin::Typed;
      return codex_item_origin(message);
    default: return PromptOrigin::Typed;
  }
}

}  // namespace vt
