// Where Claude Code keeps session transcripts, told apart from look-alikes:
// a folder named `projects` is a transcript folder only where it belongs to
// a Claude Code root or holds files that read as transcripts, so a home
// directory's `projects` full of code is never claimed.
#pragma once

#include <filesystem>
#include <optional>

#include "core/options.hpp"

namespace vt::claude {

// Whether the first line of `file` is a transcript record: a JSON object with
// a string `type` and a `sessionId`, `leafUuid` or `messageId`. Reads at most
// the first 1 MiB.
bool reads_as_transcript(const std::filesystem::path& file);

// Whether `projects` (a directory) is a transcript folder: its parent is
// named `.claude`, or one of its first project folders holds a `.jsonl` file
// that reads as a transcript.
bool is_transcript_folder(const std::filesystem::path& projects, bool follow_symlinks);

// `Transcripts` for a transcript folder, a project folder in one, a session's
// folder or its `subagents` folder; `Transcript` for a `.jsonl` file in one
// of those, or any `.jsonl` file that reads as a transcript.
std::optional<InputKind> transcript_kind(const std::filesystem::path& path, bool is_directory, bool follow_symlinks);

// The directory relative paths of a transcript input start from: the one
// holding its `projects` folder, else the one holding the input.
std::filesystem::path transcript_base_dir(const std::filesystem::path& path);

}  // namespace vt::claude
