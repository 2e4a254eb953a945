// The closed vocabularies of the timeline, each with its wire string (the only
// text form in any rendering) and, where events are hashed, its variant name.
#pragma once

#include <cstdint>
#include <string_view>

namespace vt {

// The last three are emitted by the full reading only (agents beyond the
// documented layout).
enum class Provider : std::uint8_t { ClaudeCode, Codex, OpenCode, Unknown, GeminiCli, CopilotCli, Aider };
enum class TimestampSource : std::uint8_t { Embedded, ReferencedEvent, FilesystemModified, None };
enum class EventType : std::uint8_t {
  PromptInput, PasteAttachment, ImageAttachment, OrphanCache, FileSnapshot, SessionStart,
  DeveloperMessage, AgentMessage, AgentReasoning, ToolCall, ToolResult, TaskState,
  TokenUsage, ContextCompacted, Attachment, Error, Unknown
};
enum class ArtifactKind : std::uint8_t {
  History, PasteCache, ImageCache, FileHistory, Session, Attachment, Unknown,
  Transcript,  // a Claude Code session transcript (full reading)
  // Gemini CLI (full reading): a chat session (`session-*.json` or `.jsonl`),
  // the prompt log (`logs.json`), a saved chat (`checkpoint-*.json`), the
  // shell-mode command history (`shell_history`).
  GeminiSession, GeminiLog, GeminiCheckpoint, GeminiShellHistory,
  // Full reading, agents beyond the documented layout: a Copilot CLI
  // session's event log or legacy session document, its workspace file, its
  // checkpoints and rewind snapshots; an Aider chat log and LLM traffic log.
  SessionLog, Workspace, Checkpoint, ChatLog, LlmLog
};
enum class ReferenceStatus : std::uint8_t { Resolved, Missing, Ambiguous };
enum class ContentEncoding : std::uint8_t { Utf8, Base64 };
enum class Severity : std::uint8_t { Error, Warning, Info };
// Who wrote a prompt (full reading only): the person, the agent's harness
// (environment and instructions context, a sub-agent's task), or the person
// through a slash or shell command (the command line and its output).
enum class PromptOrigin : std::uint8_t { Typed, Injected, Command };
// The last three are the full reading's: an unterminated last line that does
// not parse (a file still being written, or cut), an input of several that
// could not be read or detected, and an agent's directory with nothing to read.
enum class DiagnosticCode : std::uint8_t {
  InvalidJson, InvalidFieldType, InvalidTimestamp, UnknownRecord, MissingReference,
  AmbiguousReference, UnreadableArtifact, UnexpectedFileName, SnapshotVersionGap,
  DuplicateSnapshotVersion, HashMismatch, UnterminatedLine, UnreadableInput, NothingToRead
};

std::string_view wire_name(Provider v);
std::string_view wire_name(TimestampSource v);
std::string_view wire_name(EventType v);
std::string_view wire_name(ArtifactKind v);
std::string_view wire_name(ReferenceStatus v);
std::string_view wire_name(ContentEncoding v);
std::string_view wire_name(Severity v);
std::string_view wire_name(DiagnosticCode v);
std::string_view wire_name(PromptOrigin v);

// CamelCase names used in event identifiers and messages.
std::string_view variant_name(Provider v);
std::string_view variant_name(ArtifactKind v);

// Position of an event type in the timeline tie-break (lower first).
int order_rank(EventType v);

}  // namespace vt
