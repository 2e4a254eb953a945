#include "prices/price_table.hpp"

#include <array>
#include <cmath>

#include <nlohmann/json.hpp>

namespace vt {

extern const std::string_view kBuiltinPricesJson;

namespace {

using Json = nlohmann::json;
using Rate = std::optional<double> PriceRates::*;

struct RateKey {
  std::string_view key;
  Rate rate;
};

constexpr std::array<RateKey, 5> kRateKeys = {{{"input", &PriceRates::input},
                                               {"output", &PriceRates::output},
                                               {"cache_write", &PriceRates::cache_write},
                                               {"cache_write_1h", &PriceRates::cache_write_1h},
                                               {"cache_read", &PriceRates::cache_read}}};

bool all_digits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

// The rates an object names; an error text when one is not a price.
std::string read_rates(const Json& object, PriceRates& rates, const std::string& where) {
  for (const auto& [key, rate] : kRateKeys) {
    const auto found = object.find(key);
    if (found == object.end()) continue;
    if (!found->is_number() || !std::isfinite(found->get<double>()) || found->get<double>() < 0) {
      return where + ": '" + std::string(key) + "' is not a non-negative number";
    }
    rates.*rate = found->get<double>();
  }
  return {};
}

std::string optional_text(const Json& object, const char* key, std::string& out, const std::string& where) {
  const auto found = object.find(key);
  if (found == object.end()) return {};
  if (!found->is_string()) return where + ": '" + key + "' is not a text";
  out = found->get<std::string>();
  return {};
}

std::string read_row(const Json& row, ModelPrice& price, const std::string& where) {
  if (!row.is_object()) return where + " is not an object";
  const auto model = row.find("model");
  if (model == row.end() || !model->is_string() || model->get_ref<const std::string&>().empty()) {
    return where + ": 'model' is not a model name";
  }
  price.model = model->get<std::string>();
  if (std::string problem = read_rates(row, price.rates, where); !problem.empty()) return problem;
  if (!price.rates.input || !price.rates.output) return where + ": 'input' and 'output' are required";
  if (const auto aliases = row.find("aliases"); aliases != row.end()) {
    if (!aliases->is_array()) return where + ": 'aliases' is not a list of names";
    for (const Json& alias : *aliases) {
      if (!alias.is_string()) return where + ": 'aliases' is not a list of names";
      price.aliases.push_back(alias.get<std::string>());
    }
  }
  if (const auto tier = row.find("long_context"); tier != row.end()) {
    const std::string tier_where = where + ".long_context";
    const auto above = tier->is_object() ? tier->find("above_input_tokens") : tier->end();
    if (above == tier->end() || !above->is_number_unsigned()) {
      return tier_where + ": 'above_input_tokens' is not a token count";
    }
    ModelPrice::LongContext long_context{above->get<std::uint64_t>(), {}};
    if (std::string problem = read_rates(*tier, long_context.rates, tier_where); !problem.empty()) return problem;
    if (!long_context.rates.input) return tier_where + ": 'input' is required";
    price.long_context = long_context;
  }
  if (std::string problem = optional_text(row, "source", price.source, where); !problem.empty()) return problem;
  return optional_text(row, "read_on", price.read_on, where);
}

// A tier's rate, or the row's scaled as the tier scales input.
std::optional<double> tier_rate(const ModelPrice& price, Rate rate) {
  const PriceRates& tier = price.long_context->rates;
  if (tier.*rate) return tier.*rate;
  const std::optional<double> base = price.rates.*rate;
  if (!base || !price.rates.input || *price.rates.input == 0) return std::nullopt;
  return *base * (*tier.input / *price.rates.input);
}

}  // namespace

std::string plain_model_name(std::string_view model) {
  if (const auto slash = model.rfind('/'); slash != std::string_view::npos) model.remove_prefix(slash + 1);
  if (const auto at = model.find('@'); at != std::string_view::npos) model = model.substr(0, at);
  std::string plain(model);
  for (std::size_t i = 0; i < plain.size(); ++i) {
    char& c = plain[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    // A version's dot is its dash ("claude-opus-4.6" is "claude-opus-4-6").
    const auto digit = [&plain](std::size_t at) { return plain[at] >= '0' && plain[at] <= '9'; };
    if (c == '.' && i > 0 && i + 1 < plain.size() && digit(i - 1) && digit(i + 1)) c = '-';
  }
  // "-YYYYMMDD" or "-YYYY-MM-DD" at the end.
  const std::string_view text(plain);
  if (text.size() > 9 && text[text.size() - 9] == '-' && all_digits(text.substr(text.size() - 8))) {
    plain.resize(plain.size() - 9);
  } else if (text.size() > 11 && text[text.size() - 11] == '-' && all_digits(text.substr(text.size() - 10, 4)) &&
             text[text.size() - 6] == '-' && all_digits(text.substr(text.size() - 5, 2)) &&
             text[text.size() - 3] == '-' && all_digits(text.substr(text.size() - 2))) {
    plain.resize(plain.size() - 11);
  }
  return plain;
}

Result<PriceTable> PriceTable::from_json(std::string_view text) {
  const Json root = Json::parse(text, nullptr, false);
  if (root.is_discarded()) return fail(ParseError::message("Price table: not valid JSON."));
  if (!root.is_object()) return fail(ParseError::message("Price table: not a JSON object."));
  PriceTable table;
  if (const auto date = root.find("date"); date != root.end()) {
    if (!date->is_string()) return fail(ParseError::message("Price table: 'date' is not a text."));
    table.date_ = date->get<std::string>();
  }
  const auto models = root.find("models");
  if (models == root.end() || !models->is_array()) {
    return fail(ParseError::message("Price table: 'models' is not a list of rows."));
  }
  for (std::size_t i = 0; i < models->size(); ++i) {
    ModelPrice price;
    const std::string problem = read_row((*models)[i], price, "models[" + std::to_string(i) + "]");
    if (!problem.empty()) return fail(ParseError::message("Price table: " + problem + "."));
    table.rows_.push_back(std::move(price));
    table.index(table.rows_.size() - 1);
  }
  return table;
}

void PriceTable::index(std::size_t row) {
  by_name_.insert_or_assign(plain_model_name(rows_[row].model), row);
  for (const std::string& alias : rows_[row].aliases) by_name_.insert_or_assign(plain_model_name(alias), row);
}

const ModelPrice* PriceTable::find(std::string_view model) const {
  const auto found = by_name_.find(plain_model_name(model));
  return found == by_name_.end() ? nullptr : &rows_[found->second];
}

void PriceTable::extend(const PriceTable& other) {
  if (!other.date_.empty()) date_ = other.date_;
  for (const ModelPrice& price : other.rows_) {
    const auto same = by_name_.find(plain_model_name(price.model));
    if (same != by_name_.end()) {
      rows_[same->second] = price;
      index(same->second);
    } else {
      rows_.push_back(price);
      index(rows_.size() - 1);
    }
  }
}

const PriceTable& builtin_prices() {
  static const PriceTable table = [] {
    Result<PriceTable> parsed = PriceTable::from_json(kBuiltinPricesJson);
    return parsed ? std::move(*parsed) : PriceTable();
  }();
  return table;
}

const PriceTable& run_prices(const ParseOptions& options) {
  return options.prices != nullptr ? *options.prices : builtin_prices();
}

std::optional<double> cost_of(const ModelPrice& price, const TokenAmounts& tokens) {
  const std::uint64_t cache_write = tokens.cache_write.value_or(0);
  const std::uint64_t hour = std::min(tokens.cache_write_1h.value_or(0), cache_write);
  const std::uint64_t prompt = tokens.input.value_or(0) + cache_write + tokens.cache_read.value_or(0);
  const bool long_context = price.long_context && prompt > price.long_context->above_input_tokens;
  const auto rate = [&](Rate member) { return long_context ? tier_rate(price, member) : price.rates.*member; };
  std::optional<double> hour_rate = rate(&PriceRates::cache_write_1h);
  if (!hour_rate) hour_rate = rate(&PriceRates::cache_write);
  const std::array<std::pair<std::uint64_t, std::optional<double>>, 5> parts = {{
      {tokens.input.value_or(0), rate(&PriceRates::input)},
      {cache_write - hour, rate(&PriceRates::cache_write)},
      {hour, hour_rate},
      {tokens.cache_read.value_or(0), rate(&PriceRates::cache_read)},
      {tokens.output.value_or(0), rate(&PriceRates::output)},
  }};
  double millionths = 0;
  for (const auto& [count, per_million] : parts) {
    if (count == 0) continue;
    if (!per_million) return std::nullopt;
    millionths += static_cast<double>(count) * *per_million;
  }
  return millionths / 1e6;
}

}  // namespace vt
