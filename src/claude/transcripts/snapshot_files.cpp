#include "claude/transcripts/snapshot_files.hpp"

#include <map>
#include <string_view>
#include <utility>

namespace vt::claude {

void name_snapshot_files(const std::vector<SnapshotBackup>& backups, std::vector<Event>& snapshots) {
  if (backups.empty()) return;
  std::map<std::pair<std::string_view, std::string_view>, std::string_view> by_session;
  // By file name alone: the one path, or empty once two differ.
  std::map<std::string_view, std::string_view> by_name;
  for (const SnapshotBackup& backup : backups) {
    by_session.try_emplace({backup.session, backup.backup_file_name}, backup.file_path);
    const auto [slot, added] = by_name.try_emplace(backup.backup_file_name, backup.file_path);
    if (!added && slot->second != backup.file_path) slot->second = {};
  }
  for (Event& snapshot : snapshots) {
    if (snapshot.event_type != EventType::FileSnapshot || snapshot.message) continue;
    const std::string& relative = snapshot.source.relative_path.str();
    const std::string_view name = std::string_view(relative).substr(relative.rfind('/') + 1);
    std::string_view path;
    if (snapshot.session_id) {
      const auto found = by_session.find({snapshot.session_id->str(), name});
      if (found != by_session.end()) path = found->second;
    }
    if (path.empty()) {
      const auto found = by_name.find(name);
      if (found != by_name.end()) path = found->second;
    }
    if (!path.empty()) snapshot.message = path;
  }
}

}  // namespace vt::claude
