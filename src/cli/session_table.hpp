// The session summary rendered for people (aligned text) or for other tools
// (CSV, a JSON document, JSON lines), all with the same columns.
#pragma once

#include <string>
#include <vector>

#include "cli/sessions.hpp"

namespace vt::cli {

enum class TableStyle { Text, Csv, Json, JsonCompact, JsonLines };

std::string render_sessions(const std::vector<SessionRow>& rows, TableStyle style);

}  // namespace vt::cli
