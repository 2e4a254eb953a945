// One row per session of a timeline: who worked where and when, how many
// prompts, agent messages and tool calls it holds, how many of its lines drew
// a diagnostic, and for Codex the token totals.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/records.hpp"

namespace vt::cli {

struct TokenTotals {
  std::optional<std::uint64_t> input, cached_input, output, reasoning, total;
};

struct SessionRow {
  Provider provider = Provider::Unknown;
  std::string session_id;
  std::optional<std::string> working_directory;
  std::optional<Instant> first, last;
  std::uint64_t prompts = 0;
  std::uint64_t agent_messages = 0;
  std::uint64_t tool_calls = 0;
  std::uint64_t diagnostic_lines = 0;
  std::optional<TokenTotals> tokens;
};

// Which session each place of the input belongs to, learnt from every event
// of the run (before any filter): a line holding an event belongs to that
// event's session; any other line of a file whose events all share one
// session belongs to that session.
class SessionPlaces {
 public:
  explicit SessionPlaces(const std::vector<Event>& events);
  // The session a diagnostic's place belongs to, if any.
  const std::pair<Provider, std::string>* owner(const Diagnostic& diagnostic) const;

 private:
  using Key = std::pair<Provider, std::string>;
  std::map<std::pair<std::string, std::uint64_t>, Key> lines_;
  std::map<std::string, std::optional<Key>> files_;  // absent: several sessions
};

// Rows in order of each session's first event in `events`. Token totals come
// from the raw token-count records, so the run must have kept raw records.
std::vector<SessionRow> summarize_sessions(const std::vector<Event>& events,
                                           const std::vector<Diagnostic>& diagnostics,
                                           const SessionPlaces& places);

}  // namespace vt::cli
