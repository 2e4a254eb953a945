// The price table: per model, what a million tokens of each kind cost in
// USD (input, output, cache writes for five minutes and for an hour, cache
// reads), a long-context tier where the vendor prices one, and where and
// when each row was read. The built-in table is data kept beside this file
// (prices.json, embedded at build time); a file of the same shape extends or
// overrides it (`--prices`).
//
// A model name matches a row when, both made plain the same way, they are
// equal: letters lowered, a dot between digits read as a dash (a version
// written "4.6" or "4-6"), anything up to a last "/" (a provider prefix) and
// from an "@" (a platform's version) dropped, then a dated suffix
// ("-20250929", "-2025-09-29") dropped. Nothing else is guessed: a model
// named by no row stays unpriced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/facts.hpp"
#include "core/options.hpp"
#include "core/parse_error.hpp"

namespace vt {

struct PriceRates {
  std::optional<double> input, output, cache_write, cache_write_1h, cache_read;
};

struct ModelPrice {
  std::string model;
  std::vector<std::string> aliases;
  PriceRates rates;
  // Applies to a whole request whose input (cache reads and writes
  // included) is above `above_input_tokens`; a rate it leaves out is the
  // row's, scaled by the tier's input rate over the row's.
  struct LongContext {
    std::uint64_t above_input_tokens = 0;
    PriceRates rates;
  };
  std::optional<LongContext> long_context;
  std::string source;
  std::string read_on;
};

class PriceTable {
 public:
  // A table from its JSON text: {"date": "...", "models": [{"model": ...,
  // "input": ..., ...}, ...]}; what is wrong with it, named.
  static Result<PriceTable> from_json(std::string_view text);

  // The row for `model` by the matching rule, or null.
  const ModelPrice* find(std::string_view model) const;
  // Rows of `other` replace rows of the same model and are added otherwise;
  // the date becomes `other`'s when it has one.
  void extend(const PriceTable& other);

  const std::string& date() const { return date_; }
  const std::vector<ModelPrice>& rows() const { return rows_; }

 private:
  void index(std::size_t row);

  std::string date_;
  std::vector<ModelPrice> rows_;
  std::unordered_map<std::string, std::size_t> by_name_;
};

// The plain form of a model name the matching compares.
std::string plain_model_name(std::string_view model);

// The table kept in the repository, read once.
const PriceTable& builtin_prices();

// The table a run prices with: the caller's (`--prices`), else the built-in
// one. Its date is the one to print beside any cost.
const PriceTable& run_prices(const ParseOptions& options);

// What `tokens` cost at `price`, in USD; absent when a kind that has tokens
// has no rate.
std::optional<double> cost_of(const ModelPrice& price, const TokenAmounts& tokens);

}  // namespace vt
