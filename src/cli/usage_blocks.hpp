// Usage blocks: the 5-hour windows an agent's usage limits are counted in,
// each opened by the first message sent after the last one closed. Blocks
// are kept per agent (provider) and input, as one account's usage: the
// earliest event with a timestamp that the count rule counts for anything
// (a prompt, an agent message, a tool call, tokens) opens a block at its own
// time; the block holds every event in [start, start + 5 hours); the first
// such event at or after that end opens the next block. An event that counts
// for nothing belongs to the block its time falls in, or to none.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/counting.hpp"
#include "core/instant.hpp"
#include "core/records.hpp"

namespace vt::cli {

inline constexpr std::int64_t kBlockSeconds = 5 * 3600;

class UsageBlocks {
 public:
  UsageBlocks(std::span<const Event> events, const CountRule& rule);

  // The start of the block `event` belongs to; absent for none.
  std::optional<Instant> block_of(const Event& event) const;

 private:
  std::unordered_map<std::string, std::vector<Instant>> starts_;  // by agent and input, ascending
};

}  // namespace vt::cli
