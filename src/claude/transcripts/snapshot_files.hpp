// Which real file each file-history backup holds, and when it was taken, as
// the transcripts' snapshot records say: a person can then see (and filter
// on) the path of every file the agent changed, and the snapshot stands at
// the time of the backup rather than at the time the home was copied.
#pragma once

#include <vector>

#include "claude/transcripts/transcript_records.hpp"
#include "core/records.hpp"

namespace vt::claude {

// Gives every `file_snapshot` event whose backup (session folder and file
// name) a transcript names the real file path as its message, and the
// backup's `backupTime` as its timestamp (embedded; the file's own times stay
// in `fs_times`). A backup named under no known session takes the path and
// time its file name has everywhere else, each when that is one value. Of
// two times named for one backup of a session, the earlier is taken.
void describe_snapshot_files(const std::vector<SnapshotBackup>& backups, std::vector<Event>& snapshots);

}  // namespace vt::claude
