// The name of a file-history snapshot, `<id>@v<version>`: the tracked source's
// id and the saved version, split at the last "@v".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vt::claude {

struct SnapshotName {
  std::string id;
  std::uint64_t version = 0;
};

// The id (everything before the last "@v", never empty) and the version (an
// optional "+" and decimal digits that fit 64 bits, nothing else); absent when
// the name does not have that shape.
std::optional<SnapshotName> split_snapshot_name(std::string_view name);

}  // namespace vt::claude
