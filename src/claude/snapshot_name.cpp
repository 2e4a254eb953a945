#include "claude/snapshot_name.hpp"

#include <charconv>

namespace vt::claude {

std::optional<SnapshotName> split_snapshot_name(std::string_view name) {
  const auto marker = name.rfind("@v");
  if (marker == std::string_view::npos || marker == 0) return std::nullopt;
  std::string_view digits = name.substr(marker + 2);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  std::uint64_t version = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), version);
  // from_chars takes no sign of its own, so "+-1" and "++1" stop at once.
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return SnapshotName{std::string(name.substr(0, marker)), version};
}

}  // namespace vt::claude
