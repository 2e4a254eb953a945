// What reading one whole-file artifact gives: at most one event and the
// diagnostics met on the way. Files read concurrently each fill their own,
// and the outcomes are then joined in the order of the file list.
#pragma once

#include <iterator>
#include <optional>
#include <vector>

#include "core/records.hpp"

namespace vt {

struct FileOutcome {
  std::optional<Event> event;
  std::vector<Diagnostic> diagnostics;
};

// Moves the outcomes, in order, to the end of `events` and `diagnostics`;
// each event is numbered by its place in `events` when `number` is set.
inline void join_outcomes(std::vector<std::optional<FileOutcome>>& outcomes, std::vector<Event>& events,
                          std::vector<Diagnostic>& diagnostics, bool number) {
  events.reserve(events.size() + outcomes.size());
  for (std::optional<FileOutcome>& one : outcomes) {
    if (!one) continue;
    std::move(one->diagnostics.begin(), one->diagnostics.end(), std::back_inserter(diagnostics));
    if (one->event) {
      if (number) one->event->sequence = events.size();
      events.push_back(std::move(*one->event));
    }
    one.reset();
  }
}

}  // namespace vt
