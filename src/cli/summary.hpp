// The one line the program prints on standard error after a run: how many
// events, and how many diagnostics of each severity.
#pragma once

#include <string>

#include "core/records.hpp"

namespace vt::cli {

// "3 events, 2 diagnostics (1 error, 1 warning, 0 info)"
std::string summary_line(const Report& report);

}  // namespace vt::cli
