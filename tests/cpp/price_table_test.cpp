// The price table: how model names match rows, what tokens cost (cache
// writes for an hour apart, the long-context tier, a kind without a rate),
// what a table file may not say, and how a file's rows lie over the built-in
// ones.
#include <gtest/gtest.h>

#include <string>

#include "prices/price_table.hpp"

namespace {

using vt::ModelPrice;
using vt::PriceTable;
using vt::TokenAmounts;

TEST(PriceTable, PlainModelNamesDropPrefixesAndDates) {
  const std::pair<const char*, const char*> names[] = {
      {"claude-sonnet-4-5-20250929", "claude-sonnet-4-5"}, {"anthropic/claude-opus-4-1-20250805", "claude-opus-4-1"},
      {"claude-haiku-4-5@20251001", "claude-haiku-4-5"}, {"openai/GPT-5.4-2026-03-05", "gpt-5-4"},
      {"claude-opus-4.6", "claude-opus-4-6"}, {"v.2.x", "v.2.x"}, {"gpt-5-codex", "gpt-5-codex"},
      // Not a date: kept.
      {"gpt-5.6-sol", "gpt-5-6-sol"}, {"model-1234567", "model-1234567"}, {"x-2025-9-29", "x-2025-9-29"},
      {"<synthetic>", "<synthetic>"}};
  for (const auto& [given, plain] : names) EXPECT_EQ(vt::plain_model_name(given), plain) << given;
}

PriceTable table(const char* text) {
  auto parsed = PriceTable::from_json(text);
  EXPECT_TRUE(parsed.has_value()) << (parsed ? "" : parsed.error().text());
  return parsed ? *parsed : PriceTable();
}

constexpr const char* kTable = R"({"date": "2026-01-02", "models": [
  {"model": "claude-sonnet-4", "aliases": ["claude-sonnet-4-0"], "input": 3, "cache_write": 3.75,
   "cache_write_1h": 6, "cache_read": 0.3, "output": 15,
   "long_context": {"above_input_tokens": 200000, "input": 6, "output": 22.5}},
  {"model": "gpt-5-codex", "input": 1.25, "cache_read": 0.125, "output": 10}]})";

TEST(PriceTable, FindsRowsByPlainNameOrAliasOnly) {
  const PriceTable prices = table(kTable);
  EXPECT_EQ(prices.date(), "2026-01-02");
  ASSERT_NE(prices.find("claude-sonnet-4-20250514"), nullptr);
  EXPECT_EQ(prices.find("claude-sonnet-4-0")->model, "claude-sonnet-4");
  EXPECT_EQ(prices.find("openai/gpt-5-codex")->model, "gpt-5-codex");
  // No guessing from a longer or shorter name.
  EXPECT_EQ(prices.find("claude-sonnet-4-5"), nullptr);
  EXPECT_EQ(prices.find("gpt-5"), nullptr);
  EXPECT_EQ(prices.find("gpt-5-codex-mini"), nullptr);
}

TEST(PriceTable, EachKindCostsAtItsRate) {
  struct Case {
    const char* name;
    const char* model;
    TokenAmounts tokens;
    std::optional<double> millionths;  // the cost times a million
  };
  const Case cases[] = {
      {"every kind, the hour's writes apart", "claude-sonnet-4", TokenAmounts{10, 1000, 2000, 50, std::nullopt, 400},
       10 * 3 + 600 * 3.75 + 400 * 6 + 2000 * 0.3 + 50 * 15.0},
      {"no breakdown of the writes: all at the five-minute rate", "claude-sonnet-4",
       TokenAmounts{0, 1000, 0, 0, std::nullopt, std::nullopt}, 1000 * 3.75},
      {"a prompt above the threshold: the whole request at the tier, cache rates scaled", "claude-sonnet-4",
       TokenAmounts{1, 100000, 100000, 10, std::nullopt, 0}, 1 * 6 + 100000 * 7.5 + 100000 * 0.6 + 10 * 22.5},
      {"exactly at the threshold: the base rates", "claude-sonnet-4", TokenAmounts{0, 0, 200000, 0, std::nullopt, 0},
       200000 * 0.3},
      {"reasoning is part of the output, not priced again", "gpt-5-codex",
       TokenAmounts{100, std::nullopt, 1000, 20, 15, std::nullopt}, 100 * 1.25 + 1000 * 0.125 + 20 * 10.0},
      {"cache writes on a row without a write rate: no estimate", "gpt-5-codex",
       TokenAmounts{100, 5, 0, 0, std::nullopt, std::nullopt}, std::nullopt},
      {"nothing used costs nothing", "gpt-5-codex", TokenAmounts{0, 0, 0, 0, 0, 0}, 0.0}};
  const PriceTable prices = table(kTable);
  for (const Case& c : cases) {
    const ModelPrice* price = prices.find(c.model);
    ASSERT_NE(price, nullptr) << c.name;
    const std::optional<double> cost = vt::cost_of(*price, c.tokens);
    ASSERT_EQ(cost.has_value(), c.millionths.has_value()) << c.name;
    if (cost) EXPECT_NEAR(*cost * 1e6, *c.millionths, 1e-6) << c.name;
  }
}

TEST(PriceTable, BadTablesAreRefusedWithTheirProblem) {
  const std::pair<const char*, const char*> cases[] = {
      {"{", "Price table: not valid JSON."},
      {"[]", "Price table: not a JSON object."},
      {R"({"models": {}})", "Price table: 'models' is not a list of rows."},
      {R"({"date": 3, "models": []})", "Price table: 'date' is not a text."},
      {R"({"models": [{"input": 1, "output": 2}]})", "Price table: models[0]: 'model' is not a model name."},
      {R"({"models": [{"model": "m", "input": 1}]})", "Price table: models[0]: 'input' and 'output' are required."},
      {R"({"models": [{"model": "m", "input": 1, "output": 2}, {"model": "n", "input": 1, "output": -2}]})",
       "Price table: models[1]: 'output' is not a non-negative number."},
      {R"({"models": [{"model": "m", "input": 1, "output": "2"}]})",
       "Price table: models[0]: 'output' is not a non-negative number."},
      {R"({"models": [{"model": "m", "input": 1, "output": 2, "aliases": "m2"}]})",
       "Price table: models[0]: 'aliases' is not a list of names."},
      {R"({"models": [{"model": "m", "input": 1, "output": 2, "long_context": {"input": 2}}]})",
       "Price table: models[0].long_context: 'above_input_tokens' is not a token count."}};
  for (const auto& [text, problem] : cases) {
    const auto parsed = PriceTable::from_json(text);
    ASSERT_FALSE(parsed.has_value()) << text;
    EXPECT_EQ(parsed.error().text(), problem);
  }
}

TEST(PriceTable, AFileOverridesAndExtendsTheBuiltInRows) {
  PriceTable prices = table(kTable);
  prices.extend(table(R"({"date": "2027-05-06", "models": [
      {"model": "claude-sonnet-4-0", "input": 1, "output": 2},
      {"model": "gpt-5.6-sol", "input": 3, "cache_read": 0.3, "output": 4}]})"));
  EXPECT_EQ(prices.date(), "2027-05-06");
  EXPECT_EQ(prices.rows().size(), 3u);
  // The alias named the row it replaces; every name of it now finds the new prices.
  EXPECT_EQ(*prices.find("claude-sonnet-4-20250514")->rates.input, 1.0);
  EXPECT_FALSE(prices.find("claude-sonnet-4")->long_context.has_value());
  EXPECT_EQ(*prices.find("gpt-5.6-sol")->rates.output, 4.0);
  EXPECT_EQ(*prices.find("gpt-5-codex")->rates.output, 10.0);
  // A file without a date keeps the table's.
  prices.extend(table(R"({"models": []})"));
  EXPECT_EQ(prices.date(), "2027-05-06");
}

TEST(PriceTable, TheBuiltInTableReadsAndCitesEveryRow) {
  const PriceTable& prices = vt::builtin_prices();
  EXPECT_FALSE(prices.date().empty());
  ASSERT_GE(prices.rows().size(), 10u);
  for (const ModelPrice& row : prices.rows()) {
    EXPECT_TRUE(row.source.starts_with("https://")) << row.model;
    EXPECT_FALSE(row.read_on.empty()) << row.model;
    EXPECT_EQ(prices.find(row.model), &row) << row.model << " is shadowed by another row";
  }
}

}  // namespace
