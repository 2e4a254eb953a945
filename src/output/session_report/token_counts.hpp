// Token counts of a turn or a session, read from the two agents' records:
// Claude Code's usage events ("{model}: input N, cache write N, cache read N,
// output N", one per API message) add up; Codex token counts are running
// totals, so a turn's share is the difference across it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/records.hpp"

namespace vt::report {

struct Tokens {
  std::optional<std::uint64_t> input, cache_write, cache_read, output, reasoning, total;
  // The estimated cost of these tokens, where every part of it is priced.
  std::optional<double> cost_usd;

  bool any() const { return input || cache_write || cache_read || output || reasoning || total; }
  // The total as given, else the sum of the parts.
  std::uint64_t sum() const;
  Tokens& operator+=(const Tokens& other);
  // What `later` (a running total) adds to `earlier`.
  static Tokens difference(const Tokens& later, const Tokens& earlier);
};

// "input 6,211 · cache read 3,072 · output 181 · total 6,392" (absent parts left out).
std::string tokens_text(const Tokens& tokens);
// A count with thousands separators ("12,345").
std::string grouped(std::uint64_t value);

// What an event's facts (the full reading) say it used: its token amounts
// and estimated cost; nothing when it carries none.
std::optional<Tokens> event_tokens(const Event& event);
// "$1.23" (at least two decimals, four below a cent).
std::string cost_text(double usd);

// A Claude Code usage message: its model (when named) and counts.
struct UsageMessage {
  std::optional<std::string> model;
  Tokens tokens;
};
std::optional<UsageMessage> parse_usage_message(std::string_view message);

// The running totals a Codex token-count record holds (in its raw record).
std::optional<Tokens> codex_running_totals(const Json& raw);

}  // namespace vt::report
