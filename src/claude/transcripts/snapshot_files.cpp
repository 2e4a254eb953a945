#include "claude/transcripts/snapshot_files.hpp"

#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "core/rfc3339.hpp"

namespace vt::claude {

namespace {

// What the transcripts say of one backup: a value, or empty once two differ
// (where a conflict leaves it unknown).
struct BackupFacts {
  std::string_view path;
  std::string_view time;  // the raw `backupTime`
  std::optional<Instant> instant;
};

void take_time(BackupFacts& facts, const SnapshotBackup& backup, bool earliest) {
  const std::optional<Instant> instant = parse_rfc3339(backup.backup_time);
  if (!instant) return;
  if (!facts.instant || (earliest && *instant < *facts.instant)) {
    facts.time = backup.backup_time;
    facts.instant = instant;
  }
}

void date(Event& snapshot, const BackupFacts& facts) {
  snapshot.timestamp = facts.instant;
  snapshot.timestamp_source = TimestampSource::Embedded;
  snapshot.timestamp_raw = Json(std::string(facts.time));
}

}  // namespace

void describe_snapshot_files(const std::vector<SnapshotBackup>& backups, std::vector<Event>& snapshots) {
  if (backups.empty()) return;
  std::map<std::pair<std::string_view, std::string_view>, BackupFacts> by_session;
  // By file name alone: the one path and time, or none once two differ.
  std::map<std::string_view, BackupFacts> by_name;
  std::map<std::string_view, bool> name_times_differ;
  for (const SnapshotBackup& backup : backups) {
    BackupFacts& own = by_session[{backup.session, backup.backup_file_name}];
    if (own.path.empty()) own.path = backup.file_path;
    take_time(own, backup, true);
    const auto [slot, added] = by_name.try_emplace(backup.backup_file_name, BackupFacts{backup.file_path, {}, {}});
    if (!added && slot->second.path != backup.file_path) slot->second.path = {};
    const std::optional<Instant> instant = parse_rfc3339(backup.backup_time);
    if (!instant) continue;
    if (!slot->second.instant) {
      take_time(slot->second, backup, false);
    } else if (*slot->second.instant != *instant) {
      name_times_differ[backup.backup_file_name] = true;
    }
  }
  for (Event& snapshot : snapshots) {
    if (snapshot.event_type != EventType::FileSnapshot) continue;
    const std::string& relative = snapshot.source.relative_path.str();
    const std::string_view name = std::string_view(relative).substr(relative.rfind('/') + 1);
    const BackupFacts* own = nullptr;
    if (snapshot.session_id) {
      const auto found = by_session.find({snapshot.session_id->str(), name});
      if (found != by_session.end()) own = &found->second;
    }
    const auto named = by_name.find(name);
    const BackupFacts* shared = named != by_name.end() ? &named->second : nullptr;
    if (!snapshot.message) {
      if (own != nullptr && !own->path.empty()) {
        snapshot.message = own->path;
      } else if (shared != nullptr && !shared->path.empty()) {
        snapshot.message = shared->path;
      }
    }
    if (own != nullptr && own->instant) {
      date(snapshot, *own);
    } else if (shared != nullptr && shared->instant && !name_times_differ.contains(name)) {
      date(snapshot, *shared);
    }
  }
}

}  // namespace vt::claude
