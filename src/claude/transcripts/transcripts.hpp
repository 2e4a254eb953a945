// Reading Claude Code session transcripts: one file, or every `.jsonl` file
// below a directory (`projects`, one project folder, a session's folder, a
// `subagents` folder), each file read whole by one thread and joined in path
// order.
#pragma once

#include <filesystem>
#include <vector>

#include "claude/transcripts/transcript_records.hpp"
#include "core/adapter.hpp"

namespace vt::claude {

struct TranscriptsRead {
  AdapterOutput output;
  std::vector<SnapshotBackup> backups;  // what the files' snapshot records name
};

// The first file that ends in an error (unopenable, or strict) ends the call.
Result<TranscriptsRead> read_transcripts(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                         const ParseOptions& options);

}  // namespace vt::claude
