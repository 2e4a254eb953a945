// Sums of token amounts and costs that never wrap: a sum that would pass
// 2^64 - 1 stays there and says so (`saturated`), so a hostile or absurd
// count can make a total wrong only visibly, never small. A kind stays null
// until a counted event states it (a Codex session has no cache writes, a
// Claude Code one no reasoning), so "none said" and "zero" stay apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/facts.hpp"

namespace vt {

// `a + b`, or 2^64 - 1 (and `saturated` set) when that does not fit.
std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b, bool& saturated);

struct TokenTotals {
  std::optional<std::uint64_t> input;        // fresh input, cache excluded
  std::optional<std::uint64_t> cache_write;  // input written to the prompt cache
  std::optional<std::uint64_t> cache_read;   // input read from the prompt cache
  std::optional<std::uint64_t> output;       // output, reasoning included
  std::optional<std::uint64_t> reasoning;    // the reasoning part of the output
  bool saturated = false;                    // some sum stopped at 2^64 - 1

  void add(const TokenAmounts& amounts);
  void add(const TokenTotals& other);
  bool any() const { return input || cache_write || cache_read || output || reasoning; }
  // Everything the model read: fresh input and cache reads and writes.
  std::optional<std::uint64_t> read() const;
  // What was read and written together.
  std::optional<std::uint64_t> total() const;
  // Whether any sum shown (a kind, `read`, `total`) stopped at 2^64 - 1.
  bool saturated_anywhere() const;
};

// The cost side of counted usage: the estimate from the price table, the
// agent's own recorded figure apart, and the tokens the table could not price
// (never a silent zero), with the models they were spent on.
struct CostTotals {
  std::optional<double> estimated_usd;  // sum of the events' `cost_usd`
  std::optional<double> recorded_usd;   // sum of the events' `recorded_cost_usd`
  std::uint64_t unpriced_tokens = 0;    // tokens of counted usage without an estimate
  // The models of that usage, sorted, each once; "" for usage naming none.
  std::vector<std::string> unpriced_models;
  bool saturated = false;  // `unpriced_tokens` stopped at 2^64 - 1

  // `usage` of an event whose model is `model` (absent: none named).
  void add(const Usage& usage, const OptionalShared& model);
  void add(const CostTotals& other);
};

// The tokens a usage prices: fresh input, cache writes and reads, output
// (reasoning is part of the output). Saturates like the sums.
std::uint64_t priced_token_count(const TokenAmounts& amounts, bool& saturated);

}  // namespace vt
