// Which event each diagnostic belongs to, so that a summary row can count
// the input lines of its events that drew a diagnostic: the event read from
// the diagnostic's line, or (a line without an event) the first event of its
// file when all of the file's events are of one session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/records.hpp"

namespace vt::cli {

// Which event each diagnostic's place belongs to (by event id), learnt from
// every event of the run before any filter.
class DiagnosticOwners {
 public:
  DiagnosticOwners(const std::vector<Event>& events, const std::vector<Diagnostic>& diagnostics);

  struct Place {
    std::string relative_path;
    std::optional<std::uint64_t> line;
    friend bool operator==(const Place&, const Place&) = default;
  };
  // The distinct places owned by the event of id `event_id`; null when none.
  const std::vector<Place>* places_of(std::string_view event_id) const;

 private:
  std::unordered_map<std::string, std::vector<Place>> places_;
};

}  // namespace vt::cli
