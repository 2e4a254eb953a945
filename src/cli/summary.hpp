// The one line the program prints on standard error after a run: how many
// events (and of how many, when filters left some out), how many diagnostics
// of each severity, and how many warnings the events carry.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/records.hpp"

namespace vt::cli {

// "3 events, 2 diagnostics (1 error, 1 warning, 0 info), 4 event warnings";
// "3 of 10 events, ..." when `all_events` is larger than what is left.
std::string summary_line(const Report& report, std::size_t all_events,
                         std::size_t event_warnings);

std::size_t event_warning_count(const std::vector<Event>& events);

}  // namespace vt::cli
