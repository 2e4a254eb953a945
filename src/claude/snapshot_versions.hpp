// The check of each tracked source's saved versions: the same version saved
// twice, and versions missing between the saved ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/records.hpp"

namespace vt::claude {

// What the check needs of one kept snapshot.
struct SnapshotKey {
  const std::string* session_id;
  const std::string* snapshot_id;
  const std::string* relative_path;
  std::uint64_t version;
};

// Groups the snapshots by (session, id), groups in order of first appearance;
// per group all duplicate warnings, then the gap warnings (only when the
// lowest version is not 0).
std::vector<Diagnostic> check_snapshot_versions(const std::vector<SnapshotKey>& snapshots);

}  // namespace vt::claude
