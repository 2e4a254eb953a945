#include "cli/usage_blocks.hpp"

#include <algorithm>

namespace vt::cli {

namespace {

std::string account_key(const Event& event) {
  std::string key(1, static_cast<char>(event.provider));
  if (event.input) key.append(event.input->str());
  return key;
}

Instant block_end(const Instant& start) {
  const auto end = Instant::from_unix(start.unix_seconds() + kBlockSeconds, start.nanos());
  return end ? *end : start;  // past the calendar's end: the block ends where it starts
}

}  // namespace

UsageBlocks::UsageBlocks(std::span<const Event> events, const CountRule& rule) {
  std::unordered_map<std::string, std::vector<Instant>> openers;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const EventCount counted = rule[i];
    if (!events[i].timestamp || (counted.as == CountedAs::Nothing && !counted.usage)) continue;
    openers[account_key(events[i])].push_back(*events[i].timestamp);
  }
  for (auto& [key, times] : openers) {
    std::sort(times.begin(), times.end());
    std::vector<Instant>& starts = starts_[key];
    for (const Instant& at : times) {
      if (starts.empty() || at >= block_end(starts.back())) starts.push_back(at);
    }
  }
}

std::optional<Instant> UsageBlocks::block_of(const Event& event) const {
  if (!event.timestamp) return std::nullopt;
  const auto found = starts_.find(account_key(event));
  if (found == starts_.end()) return std::nullopt;
  const std::vector<Instant>& starts = found->second;
  const auto after = std::upper_bound(starts.begin(), starts.end(), *event.timestamp);
  if (after == starts.begin()) return std::nullopt;
  const Instant& start = *(after - 1);
  if (*event.timestamp >= block_end(start)) return std::nullopt;
  return start;
}

}  // namespace vt::cli
