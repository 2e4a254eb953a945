#include "claude/snapshot_versions.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace vt::claude {

namespace {

struct PairHash {
  std::size_t operator()(const std::pair<std::string_view, std::string_view>& key) const {
    const std::size_t a = std::hash<std::string_view>{}(key.first);
    return a ^ (std::hash<std::string_view>{}(key.second) + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
  }
};

Diagnostic version_warning(const SnapshotKey& at, DiagnosticCode code, std::string message) {
  return Diagnostic{code, Severity::Warning,
                    SourceRef{ArtifactKind::FileHistory, std::nullopt, *at.relative_path, std::nullopt,
                              *at.snapshot_id},
                    std::move(message)};
}

std::string in_group(const SnapshotKey& s) {
  return "for source '" + *s.snapshot_id + "' in session '" + *s.session_id + "'";
}

void check_group(const std::vector<SnapshotKey>& snapshots, std::vector<std::size_t>& members,
                 std::vector<Diagnostic>& out) {
  std::stable_sort(members.begin(), members.end(),
                   [&](std::size_t a, std::size_t b) { return snapshots[a].version < snapshots[b].version; });
  for (std::size_t k = 1; k < members.size(); ++k) {
    const SnapshotKey& first = snapshots[members[k - 1]];
    if (first.version == snapshots[members[k]].version) {
      out.push_back(version_warning(first, DiagnosticCode::DuplicateSnapshotVersion,
                                    "Duplicate snapshot version v" + std::to_string(first.version) + " " +
                                        in_group(first)));
    }
  }
  const SnapshotKey& lowest = snapshots[members.front()];
  if (lowest.version == 0) return;
  for (std::size_t k = 1; k < members.size(); ++k) {
    const std::uint64_t a = snapshots[members[k - 1]].version, b = snapshots[members[k]].version;
    if (b - a < 2) continue;  // b >= a after the sort, so no wrap
    out.push_back(version_warning(lowest, DiagnosticCode::SnapshotVersionGap,
                                  "Snapshot version gap " + in_group(lowest) + ": v" + std::to_string(a) +
                                      " -> v" + std::to_string(b) + " (missing v" + std::to_string(a + 1) +
                                      "..v" + std::to_string(b - 1) + ")"));
  }
}

}  // namespace

std::vector<Diagnostic> check_snapshot_versions(const std::vector<SnapshotKey>& snapshots) {
  std::unordered_map<std::pair<std::string_view, std::string_view>, std::size_t, PairHash> group_of;
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t i = 0; i < snapshots.size(); ++i) {
    const auto [slot, added] = group_of.try_emplace({*snapshots[i].session_id, *snapshots[i].snapshot_id},
                                                    groups.size());
    if (added) groups.emplace_back();
    groups[slot->second].push_back(i);
  }
  std::vector<Diagnostic> out;
  for (std::vector<std::size_t>& members : groups) check_group(snapshots, members, out);
  return out;
}

}  // namespace vt::claude
