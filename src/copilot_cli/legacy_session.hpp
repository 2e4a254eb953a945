// What one legacy Copilot CLI session document holds
// (`history-session-state/session_<id>_<epoch ms>.json`: `{sessionId,
// startTime, selectedModel?, chatMessages[], timeline[]}`), read whole and
// bounded like one line.
//
// The document keeps two views of one conversation. The `timeline` (what the
// person saw, with timestamps) gives the events: `user` a prompt, `copilot`
// an agent message, `info` a task state, `error` an error, and
// `tool_call_completed` a tool call and its result, linked by `callId`.
// The `chatMessages` (what the model saw, no timestamps) are kept too, each
// part one event at the time of the timeline entry it repeats and marked as
// a copy of it (`copy_of`): a user message by its typed text, an assistant
// text by its text, a tool call and a tool message by the call id, each
// matched once and in order. A part that repeats nothing stands on its own,
// at the time of the part before it.
#pragma once

#include <filesystem>

#include "copilot_cli/copilot_event.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::copilot {

// The session id in a legacy document's name (`session_<id>_<digits>.json`).
std::optional<std::string> legacy_session_id(std::string_view file_name);

Result<FileRecords> read_legacy_session(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                        const ParseOptions& options);

}  // namespace vt::copilot
