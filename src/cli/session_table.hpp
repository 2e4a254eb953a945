// The summary rendered for people (an aligned table) or for other tools
// (CSV, a JSON document, JSON lines). CSV and JSON carry every column; the
// table carries every column with --wide, and otherwise the counts that
// matter most under short headings, eliding long texts so that a line fits
// the width (100 columns); lines under the table say what the figures rest
// on (the price table's date, unpriced tokens, sums that saturated).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/sessions.hpp"
#include "cli/summary_notes.hpp"

namespace vt::cli {

enum class TableStyle { Text, Csv, Json, JsonCompact, JsonLines };

struct TableOptions {
  TableStyle style = TableStyle::Text;
  bool wide = false;
  std::size_t width = 100;
  NoteOptions notes;  // what the lines under the table need to know
};

std::string render_summary(const std::vector<SummaryRow>& rows, const std::vector<GroupBy>& by,
                           const TableOptions& options);

}  // namespace vt::cli
