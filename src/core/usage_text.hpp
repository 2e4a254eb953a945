// The text of a `token_usage` event in the full reading, written by the
// readers and read back by the program's summary, so that counting tokens
// needs no raw records:
//   Claude Code (one API message): "{model}: input N, cache write N, cache read N, output N"
//   Codex (the session's running totals so far):
//     "{model}: session totals: input N, cached input N, output N, reasoning N, total N"
// The model and its ": " are left out when unknown; a count is left out when
// the record does not hold it as a whole number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

struct TokenCounts {
  std::optional<std::uint64_t> input;         // Claude Code: without cache reads and writes
  std::optional<std::uint64_t> cache_write;   // Claude Code
  std::optional<std::uint64_t> cached_input;  // Claude Code: cache reads; Codex: part of input
  std::optional<std::uint64_t> output;
  std::optional<std::uint64_t> reasoning;     // Codex: part of output
  std::optional<std::uint64_t> total;         // Codex
};

struct UsageText {
  std::optional<std::string> model;
  bool running_totals = false;  // the Codex form
  TokenCounts counts;
};

std::string codex_usage_text(const std::optional<std::string>& model, const TokenCounts& totals);

// Either form back; absent when the text is neither.
std::optional<UsageText> parse_usage_text(std::string_view text);

}  // namespace vt
