#include "output/session_report/count_texts.hpp"

#include <array>
#include <cstdio>
#include <string_view>
#include <utility>

namespace vt::report {

namespace {

using Kind = std::optional<std::uint64_t> TokenTotals::*;

constexpr std::array<std::pair<std::string_view, Kind>, 5> kKinds = {{
    {"input", &TokenTotals::input},
    {"cache write", &TokenTotals::cache_write},
    {"cache read", &TokenTotals::cache_read},
    {"output", &TokenTotals::output},
    {"reasoning", &TokenTotals::reasoning},
}};

}  // namespace

std::string grouped(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string tokens_text(const TokenTotals& tokens) {
  std::string out;
  for (const auto& [name, kind] : kKinds) {
    if (!(tokens.*kind)) continue;
    if (!out.empty()) out += " \xC2\xB7 ";
    out += name;
    out += ' ';
    out += grouped(*(tokens.*kind));
  }
  if (tokens.saturated_anywhere()) out += " (sum stopped at 2^64 \xE2\x88\x92 1)";
  return out;
}

std::string total_text(const TokenTotals& tokens) {
  const auto total = tokens.total();
  return total ? grouped(*total) : std::string();
}

std::string cost_text(double usd) {
  char text[32];
  std::snprintf(text, sizeof text, usd != 0 && usd < 0.01 ? "$%.4f" : "$%.2f", usd);
  return text;
}

std::string exact_number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string unpriced_text(const CostTotals& cost) {
  if (cost.unpriced_tokens == 0) return {};
  std::string models;
  for (const std::string& model : cost.unpriced_models) {
    models += (models.empty() ? "" : ", ") + (model.empty() ? std::string("unnamed") : model);
  }
  return grouped(cost.unpriced_tokens) + " tokens unpriced (" + models + ")";
}

}  // namespace vt::report
