#include "claude/history/paste_keys.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace vt::claude {

std::optional<std::int64_t> parse_decimal_key(std::string_view key) {
  bool negative = false;
  if (!key.empty() && (key.front() == '+' || key.front() == '-')) {
    negative = key.front() == '-';
    key.remove_prefix(1);
  }
  if (key.empty()) return std::nullopt;
  // The magnitude may reach 2^63 only for a negative number.
  const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) +
                              (negative ? 1u : 0u);
  std::uint64_t magnitude = 0;
  for (const char c : key) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) return static_cast<std::int64_t>(magnitude);
  // -(2^63) has no positive counterpart; negate in unsigned arithmetic.
  return static_cast<std::int64_t>(~magnitude + 1);
}

std::vector<JsonView> ordered_paste_entries(JsonView entries) {
  // One member per key, in byte order of the keys.
  std::vector<JsonView> ordered = entries.members_by_key();
  std::vector<std::pair<std::int64_t, JsonView>> numbered;
  numbered.reserve(ordered.size());
  for (const JsonView& member : ordered) {
    if (const auto number = parse_decimal_key(member.key())) numbered.emplace_back(*number, member);
  }
  if (numbered.size() != ordered.size()) return ordered;
  std::stable_sort(numbered.begin(), numbered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < numbered.size(); ++i) ordered[i] = numbered[i].second;
  return ordered;
}

}  // namespace vt::claude
