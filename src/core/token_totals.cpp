#include "core/token_totals.hpp"

#include <algorithm>
#include <limits>

namespace vt {

namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

void add_to(std::optional<std::uint64_t>& sum, const std::optional<std::uint64_t>& amount, bool& saturated) {
  if (!amount) return;
  sum = saturating_add(sum.value_or(0), *amount, saturated);
}

std::optional<std::uint64_t> plus(std::optional<std::uint64_t> a, std::optional<std::uint64_t> b,
                                  bool& saturated) {
  if (!a) return b;
  if (!b) return a;
  return saturating_add(*a, *b, saturated);
}

void add_model(std::vector<std::string>& models, std::string_view model) {
  const auto at = std::lower_bound(models.begin(), models.end(), model);
  if (at == models.end() || *at != model) models.emplace(at, model);
}

}  // namespace

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b, bool& saturated) {
  if (b > kMax - a) {
    saturated = true;
    return kMax;
  }
  return a + b;
}

namespace {

// Adds each kind of `from` (amounts or totals: the same kinds by name).
template <class Kinds>
void add_kinds(TokenTotals& to, const Kinds& from) {
  add_to(to.input, from.input, to.saturated);
  add_to(to.cache_write, from.cache_write, to.saturated);
  add_to(to.cache_read, from.cache_read, to.saturated);
  add_to(to.output, from.output, to.saturated);
  add_to(to.reasoning, from.reasoning, to.saturated);
}

}  // namespace

void TokenTotals::add(const TokenAmounts& amounts) { add_kinds(*this, amounts); }

void TokenTotals::add(const TokenTotals& other) {
  add_kinds(*this, other);
  saturated = saturated || other.saturated;
}

std::optional<std::uint64_t> TokenTotals::read() const {
  bool ignored = false;  // said by saturated_anywhere()
  return plus(plus(input, cache_write, ignored), cache_read, ignored);
}

std::optional<std::uint64_t> TokenTotals::total() const {
  bool ignored = false;
  return plus(read(), output, ignored);
}

bool TokenTotals::saturated_anywhere() const {
  bool stopped = saturated;
  (void)plus(plus(plus(input, cache_write, stopped), cache_read, stopped), output, stopped);
  return stopped;
}

std::uint64_t priced_token_count(const TokenAmounts& amounts, bool& saturated) {
  std::uint64_t count = 0;
  for (const auto& part : {amounts.input, amounts.cache_write, amounts.cache_read, amounts.output}) {
    if (part) count = saturating_add(count, *part, saturated);
  }
  return count;
}

void CostTotals::add(const Usage& usage, const OptionalShared& model) {
  if (usage.cost_usd) estimated_usd = estimated_usd.value_or(0.0) + *usage.cost_usd;
  if (usage.recorded_cost_usd) recorded_usd = recorded_usd.value_or(0.0) + *usage.recorded_cost_usd;
  if (usage.cost_usd) return;
  const std::uint64_t tokens = priced_token_count(usage.tokens, saturated);
  if (tokens == 0) return;
  unpriced_tokens = saturating_add(unpriced_tokens, tokens, saturated);
  add_model(unpriced_models, model ? std::string_view(*model) : std::string_view());
}

void CostTotals::add(const CostTotals& other) {
  if (other.estimated_usd) estimated_usd = estimated_usd.value_or(0.0) + *other.estimated_usd;
  if (other.recorded_usd) recorded_usd = recorded_usd.value_or(0.0) + *other.recorded_usd;
  unpriced_tokens = saturating_add(unpriced_tokens, other.unpriced_tokens, saturated);
  for (const std::string& model : other.unpriced_models) add_model(unpriced_models, model);
  saturated = saturated || other.saturated;
}

}  // namespace vt
