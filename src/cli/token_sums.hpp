// Until the readers fill `Event::facts` with per-event usage, the usage the
// summary counts is read back from the full reading's token-count messages
// (a stopgap: it goes once the facts are filled). The tokens each event adds
// to a summary, counted once:
// - Claude Code: one `token_usage` event per API message and transcript;
//   the copies of one message across the session's files (streamed chunks in
//   another file, sub-agent and compaction replays) count once, with the
//   largest count of each kind, at the earliest copy.
// - Codex: the running totals of the session's token counts, taken in file
//   order (path, then line): each adds what grew since the one before (all
//   of it when a count went down: the totals started again).
// Kinds: `input` is every token the model read, cached ones included;
// `cached_input` the part read from the cache; `cache_write` (Claude Code)
// the part written to it; `output` every token written, reasoning (Codex)
// included; `total` input and output together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/records.hpp"
#include "core/usage_text.hpp"

namespace vt::cli {

struct TokenSums {
  std::optional<std::uint64_t> input, cached_input, cache_write, output, reasoning, total;
  void add(const TokenSums& other);
};

struct TokenShare {
  std::size_t event = 0;  // index into the events
  TokenSums sums;
};

// The usage a `token_usage` event's message names (its model, its counts),
// or, for a Codex event kept with its raw record, the record's running totals.
std::optional<UsageText> event_usage(const Event& event);

// What each token event adds, in event order; events that add nothing are left out.
std::vector<TokenShare> token_shares(const std::vector<Event>& events);

// The usage each event adds, as facts would carry it (per-event amounts,
// fresh input apart from the cache), and the model its message names.
class InterimUsage {
 public:
  explicit InterimUsage(const std::vector<Event>& events);
  // Null when event i adds nothing.
  const Usage* usage_of(std::size_t i) const;
  std::optional<std::string> model_of(std::size_t i) const;

 private:
  const std::vector<Event>& events_;
  std::unordered_map<std::size_t, Usage> usage_;
};

}  // namespace vt::cli
