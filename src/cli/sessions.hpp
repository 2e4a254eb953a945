// The summary of a timeline: one row per session (by default), or per day,
// ISO week, project (a session's working directory) or model, or per any
// combination of these. A row counts the prompts once each (typed, injected
// and commands apart), the agent messages, the tool calls, the input lines
// that drew a diagnostic, and the tokens, each counted once.
//
// Where an event counts: its session's row; its own local day and week; its
// session's first working directory; the model its session used at the time
// (the model of the session's next token count, the one that answered, else
// of its latest).
// A diagnostic counts where the event of its line counts, or (a line without
// an event) where the first event of its file counts when all of the file's
// events are of one session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cli/token_sums.hpp"
#include "core/records.hpp"

namespace vt::cli {

enum class GroupBy : std::uint8_t { Session, Day, Week, Project, Model };

std::optional<GroupBy> group_by_named(std::string_view name);
std::vector<std::string> group_by_names();

struct SummaryRow {
  // The row's key: the parts its grouping names.
  Provider provider = Provider::Unknown;
  std::optional<std::string> session_id, working_directory, day, week, project, model;
  std::uint64_t sessions = 0;
  std::optional<Instant> first, last;
  std::uint64_t prompts = 0;  // typed
  std::uint64_t injected_prompts = 0;
  std::uint64_t command_prompts = 0;
  std::uint64_t agent_messages = 0;
  std::uint64_t tool_calls = 0;
  std::uint64_t diagnostic_lines = 0;
  std::optional<TokenSums> tokens;
  std::vector<std::string> models;  // those its token counts name, sorted
};

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

// Rows in order of each row's first event in `events` (timeline order).
std::vector<SummaryRow> summarize(const std::vector<Event>& events, const DiagnosticOwners& owners,
                                  const std::vector<GroupBy>& by);

}  // namespace vt::cli
