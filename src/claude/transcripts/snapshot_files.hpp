// Which real file each file-history backup holds, as the transcripts'
// snapshot records name it: a person can then see (and filter on) the path
// of every file the agent changed.
#pragma once

#include <vector>

#include "claude/transcripts/transcript_records.hpp"
#include "core/records.hpp"

namespace vt::claude {

// Gives every `file_snapshot` event whose backup (session folder and file
// name) a transcript names the real file path as its message. A backup
// named under no known session takes the path its file name has everywhere
// else, when that is one path.
void name_snapshot_files(const std::vector<SnapshotBackup>& backups, std::vector<Event>& snapshots);

}  // namespace vt::claude
