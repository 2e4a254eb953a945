#include "core/enums.hpp"

namespace vt {

namespace {
template <std::size_t N>
std::string_view pick(const std::string_view (&names)[N], std::uint8_t i) {
  return i < N ? names[i] : std::string_view("unknown");
}
}  // namespace

std::string_view wire_name(Provider v) {
  static constexpr std::string_view k[] = {"claude_code", "codex", "open_code", "unknown",
                                           "gemini_cli",  "copilot_cli", "aider"};
  return pick(k, static_cast<std::uint8_t>(v));
}
std::string_view wire_name(TimestampSource v) {
  static constexpr std::string_view k[] = {"embedded", "referenced_event", "filesystem_modified",
                                           "none"};
  return pick(k, static_cast<std::uint8_t>(v));
}
std::string_view wire_name(EventType v) {
  static constexpr std::string_view k[] = {
      "prompt_input",     "paste_attachment", "image_attachment", "orphan_cache",
      "file_snapshot",    "session_start",    "developer_message", "agent_message",
      "agent_reasoning",  "tool_call",        "tool_result",      "task_state",
      "token_usage",      "context_compacted", "attachment",      "error",
      "unknown"};
  return pick(k, static_cast<std::uint8_t>(v));
}
std::string_view wire_name(ArtifactKind v) {
  static constexpr std::string_view k[] = {"history",      "paste_cache", "image_cache",
                                           "file_history", "session",     "attachment",
                                           "unknown",      "transcript",
                                           "gemini_session", "gemini_log", "gemini_checkpoint",
                                           "gemini_shell_history",
                                           "session_log",
                                           "workspace",    "checkpoint",  "chat_log",
                                           "llm_log"};
  return pick(k, static_cast<std::uint8_t>(v));
}
std::string_view wire_name(ReferenceStatus v) {
  static constexpr std::string_view k[] = {"resolved", "missing", "ambiguous"};
  return pick(k, static_cast<std::uint8_t>(v));
}
std::string_view wire_name(ContentEncoding v) {
  static constexpr std::string_view k[] = {"utf8", "base64"};
  return pick(k, static_cast<std::uint8_t>(v));
}
std::string_view wire_name(Severity v) {
  static constexpr std::string_view k[] = {"error", "warning", "info"};
  return pick(k, static_cast<std::uint8_t>(v));
}
std::string_view wire_name(DiagnosticCode v) {
  static constexpr std::string_view k[] = {
      "invalid_json",        "invalid_field_type",    "invalid_timestamp",
      "unknown_record",      "missing_reference",     "ambiguous_reference",
      "unreadable_artifact", "unexpected_file_name",  "snapshot_version_gap",
      "duplicate_snapshot_version", "hash_mismatch", "unterminated_line",
      "unreadable_input",    "nothing_to_read"};
  return pick(k, static_cast<std::uint8_t>(v));
}

std::string_view wire_name(PromptOrigin v) {
  static constexpr std::string_view k[] = {"typed", "injected", "command"};
  return pick(k, static_cast<std::uint8_t>(v));
}

std::string_view variant_name(Provider v) {
  static constexpr std::string_view k[] = {"ClaudeCode", "Codex",      "OpenCode", "Unknown",
                                           "GeminiCli",  "CopilotCli", "Aider"};
  return pick(k, static_cast<std::uint8_t>(v));
}
std::string_view variant_name(ArtifactKind v) {
  static constexpr std::string_view k[] = {"History",     "PasteCache", "ImageCache",
                                           "FileHistory", "Session",    "Attachment",
                                           "Unknown",     "Transcript",
                                           "GeminiSession", "GeminiLog", "GeminiCheckpoint",
                                           "GeminiShellHistory",
                                           "SessionLog",
                                           "Workspace",   "Checkpoint", "ChatLog",
                                           "LlmLog"};
  return pick(k, static_cast<std::uint8_t>(v));
}

int order_rank(EventType v) {
  switch (v) {
    case EventType::SessionStart: return 0;
    case EventType::PromptInput: return 1;
    case EventType::PasteAttachment:
    case EventType::ImageAttachment:
    case EventType::Attachment: return 2;
    case EventType::OrphanCache:
    case EventType::FileSnapshot: return 3;
    default: return 4;
  }
}

}  // namespace vt
