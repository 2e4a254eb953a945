// The lines under the summary table that say what its figures rest on and
// where they fall short, so that no figure is silently zero or silently
// wrong: the price table (and its date) the costs were estimated from, the
// tokens no price covered and their models, the agent's own recorded cost
// kept apart, sums that stopped at 2^64 - 1, and a reading that counts no
// tokens.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/sessions.hpp"

namespace vt::cli {

// How usage without a model is named among the unpriced models.
inline constexpr std::string_view kNoModel = "(unnamed)";

struct NoteOptions {
  std::optional<std::string> price_date;  // the price table's date, when costs were estimated
  bool documented = false;                // the documented reading: events carry no usage
};

// The lines (each ending in a line break), empty when there is nothing to say.
std::string summary_notes(const std::vector<SummaryRow>& rows, const NoteOptions& options);

}  // namespace vt::cli
