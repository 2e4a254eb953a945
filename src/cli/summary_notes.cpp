#include "cli/summary_notes.hpp"

#include <cstdio>

#include "cli/terminal_text.hpp"

namespace vt::cli {

namespace {

std::string dollars(double amount) {
  char text[48];
  std::snprintf(text, sizeof text, "$%.2f", amount);
  return text;
}

}  // namespace

std::string summary_notes(const std::vector<SummaryRow>& rows, const NoteOptions& options) {
  if (options.documented) {
    return "tokens and cost: not counted in the documented reading (read without --documented)\n";
  }
  Counts all;
  bool saturated = false;
  for (const SummaryRow& row : rows) {
    all.add(row.counts);
    saturated = saturated || row.counts.tokens.saturated_anywhere() || row.counts.cost.saturated;
  }
  std::string notes;
  if (all.cost.estimated_usd) {
    notes += "cost: " + dollars(*all.cost.estimated_usd) + " estimated in US dollars from the price table of " +
             options.price_date.value_or("unknown date") + "\n";
  }
  if (all.cost.unpriced_tokens > 0) {
    std::string models;
    for (const std::string& model : all.cost.unpriced_models) {
      models += (models.empty() ? "" : ", ") + (model.empty() ? std::string(kNoModel) : terminal_text(model));
    }
    notes += "unpriced: " + std::to_string(all.cost.unpriced_tokens) +
             " tokens have no price and no cost (" + models + ")\n";
  }
  if (all.cost.recorded_usd) {
    notes += "recorded: the agent's own cost figures add up to " + dollars(*all.cost.recorded_usd) +
             " (kept apart from the estimate)\n";
  }
  if (saturated) {
    notes += "saturated: a sum reached 2^64 - 1 and stopped there (sums_saturated in --wide, CSV and JSON)\n";
  }
  return notes;
}

}  // namespace vt::cli
