// How the pages say what a session or a turn counted (the core's count rule,
// core/counting.hpp): numbers with thousands separators, token sums by kind
// with their total, and costs in US dollars.
#pragma once

#include <cstdint>
#include <string>

#include "core/token_totals.hpp"

namespace vt::report {

// A count with thousands separators ("12,345").
std::string grouped(std::uint64_t value);

// "input 6,211 · cache write 20 · cache read 3,072 · output 181 · reasoning 64"
// (kinds nobody stated left out; "(sum stopped at 2^64 − 1)" when a sum did).
std::string tokens_text(const TokenTotals& tokens);

// The total as a number, with separators; "" when no kind was stated.
std::string total_text(const TokenTotals& tokens);

// "$1.23" (at least two decimals, four below a cent).
std::string cost_text(double usd);

// The value in full ("0.072726600000000004"), for sort keys and hovers.
std::string exact_number(double value);

// What the estimate leaves out: "12,000 tokens unpriced (model-x)", or "".
std::string unpriced_text(const CostTotals& cost);

}  // namespace vt::report
