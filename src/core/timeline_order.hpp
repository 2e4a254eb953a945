// The order of the timeline: a stable sort by timestamp, path, line, type
// rank, version, provisional sequence and id, after which the snapshots of
// one session and source that share a timestamp are put in version order
// within the positions their group holds.
#pragma once

#include <vector>

#include "core/records.hpp"

namespace vt {

void sort_timeline(std::vector<Event>& events);

}  // namespace vt
