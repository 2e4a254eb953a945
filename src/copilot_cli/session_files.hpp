// The files of a Copilot CLI session folder beside its event log, each read
// whole (bounded like one line) into events of its own kind:
// - `workspace.yaml`: one `task_state` event (its summary, at `created_at`)
//   carrying the session id, working directory and branch, which the
//   session's log events take where their own records say nothing;
// - `rewind-snapshots/index.json`: one `file_snapshot` event per snapshot
//   (the prompt it was taken before, at its time; the backed-up file map is
//   not an event);
// - `checkpoints/NNN-<title>.md`: one `context_compacted` event per
//   checkpoint (its Markdown text, at the file's modification time); the
//   checkpoints' `index.md` only lists them and is not read.
#pragma once

#include <filesystem>

#include "copilot_cli/copilot_event.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::copilot {

// `defaults` gains what the workspace file says (id, cwd, branch).
Result<FileRecords> read_workspace(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                   const ParseOptions& options, SessionDefaults& defaults);
Result<FileRecords> read_rewind_index(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                      const ParseOptions& options, const SessionDefaults& defaults);
Result<FileRecords> read_checkpoint(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                    const ParseOptions& options, const SessionDefaults& defaults);

// A checkpoint's file name: digits, '-', a title, ".md".
bool is_checkpoint_name(std::string_view name);

}  // namespace vt::copilot
