// The order of the timeline: a stable sort by timestamp, path, line, type
// rank, version, provisional sequence and id, after which the snapshots of
// one session and source that share a timestamp are put in version order
// within the positions their group holds. With several threads, parts of the
// timeline are sorted side by side and merged (the same order, since the sort
// is stable and its keys a strict weak order).
#pragma once

#include <vector>

#include "core/records.hpp"

namespace vt {

void sort_timeline(std::vector<Event>& events, unsigned threads = 1);

}  // namespace vt
