// The summary of a timeline: one row per session (by default), or per day,
// ISO week, month, usage block, project (a session's working directory) or
// model, or per any combination of these. A row adds up what its events
// count as under the one count rule (core/counting.hpp: prompts by origin,
// agent messages, tool calls, tokens and their cost), the input lines that
// drew a diagnostic, and the models its usage names.
//
// Where an event counts: its session's row (the events of a transcript file
// in the row of its conversation, core/conversations.hpp, as the session
// pages show them); its own local day, week and
// month; the usage block its time falls in (usage_blocks.hpp); its session's
// first working directory; the model its session used at the time (the
// model of the session's next usage, the one that answered, else of its
// latest).
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

#include "cli/diagnostic_owners.hpp"
#include "core/counting.hpp"
#include "core/records.hpp"

namespace vt::cli {

enum class GroupBy : std::uint8_t { Session, Day, Week, Month, Block, Project, Model };

std::optional<GroupBy> group_by_named(std::string_view name);
std::vector<std::string> group_by_names();

struct SummaryRow {
  // The row's key: the parts its grouping names.
  Provider provider = Provider::Unknown;
  std::optional<std::string> session_id, working_directory, day, week, month, block, project, model;
  std::uint64_t sessions = 0;
  std::optional<Instant> first, last;
  Counts counts;
  std::uint64_t diagnostic_lines = 0;
  std::vector<std::string> models;  // those its usage names, sorted
};

// Rows in order of each row's first event in `events` (timeline order).
std::vector<SummaryRow> summarize(const std::vector<Event>& events, const DiagnosticOwners& owners,
                                  const std::vector<GroupBy>& by);

}  // namespace vt::cli
