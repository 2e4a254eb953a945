// Copilot CLI's `command-history-state.json` (`{"commandHistory": [text,
// …]}`, oldest first): every entry a `prompt_input` of the prompt history
// (a slash command one of `command` origin). The file keeps no times, so its
// events have none of their own (`timestamp_source` "none").
//
// A prompt is counted once: each entry, in order, is matched to the earliest
// prompt of the sessions read with it that no entry matched before and whose
// typed text (less the blocks the agent appends) equals the entry; a matched
// entry is kept as a copy of that prompt (`copy_of`) at its time
// ("referenced_event"). An entry that matches no prompt but the prompt a
// rewind snapshot was taken before (a session whose log is gone) takes that
// snapshot's session and time, and counts as the session's prompt. Any other
// entry stands on its own.
#pragma once

#include <filesystem>
#include <vector>

#include "copilot_cli/copilot_event.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::copilot {

Result<FileRecords> read_command_history(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                         const ParseOptions& options);

// Marks the history's entries that repeat a prompt of `sessions` as above.
void match_history(std::vector<Event>& history, const std::vector<Event>& sessions);

}  // namespace vt::copilot
