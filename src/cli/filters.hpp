// Which events of the ordered timeline a person asked to keep: a time window,
// sessions, providers, event types, prompt origins and working-directory
// prefixes. Applied
// after ordering, so every kept event keeps its `sequence` in the whole
// timeline; diagnostics are never filtered.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/instant.hpp"
#include "core/records.hpp"

namespace vt::cli {

struct TimeBound {
  Instant at;
  bool exclusive = false;  // an --until date: everything before the next day
};

struct EventFilter {
  std::optional<TimeBound> since;
  std::optional<TimeBound> until;
  std::vector<std::string> sessions;
  std::vector<Provider> providers;
  std::vector<EventType> event_types;
  std::vector<PromptOrigin> origins;
  std::vector<std::string> cwd_prefixes;

  bool empty() const {
    return !since && !until && sessions.empty() && providers.empty() && event_types.empty() &&
           origins.empty() && cwd_prefixes.empty();
  }
  bool keeps(const Event& event) const;
};

// "--since"/"--until" values: an RFC 3339 instant, or a day: a date
// YYYY-MM-DD, "today", "yesterday", or N days or weeks before today ("7d",
// "4w"; "0d" is today). Days are local days of the one zone the summary
// counts in (--timezone, else the local zone; today is the day of `now`): a
// day stands for its start (since) or for everything before the next day's
// start (until). Absent when the text is none of these.
std::optional<TimeBound> parse_since(std::string_view text, const Instant& now);
std::optional<TimeBound> parse_until(std::string_view text, const Instant& now);

// A "--cwd" prefix as a path, spelled once: repeated slashes and "." taken
// out, ".." taken back against the component before it (never above the
// root), no trailing slash. "/p0/.." is "/", "//p0" is "/p0".
std::string normal_cwd_prefix(std::string_view prefix);

// The wire names the provider and event-type filters accept.
std::vector<std::string> filterable_providers();
std::vector<std::string> filterable_event_types();
std::optional<Provider> provider_named(std::string_view name);
std::optional<EventType> event_type_named(std::string_view name);
std::vector<std::string> filterable_origins();
std::optional<PromptOrigin> origin_named(std::string_view name);

// An error text when the window is empty (--since after --until), else empty.
std::string check_window(const EventFilter& filter);

// Turns each --session value into the session id it names among `events`:
// the id itself in any letter case, or the one id it starts (in any case).
// A value no id starts is kept (it keeps nothing). Returns an error text
// naming the candidates when a value starts several ids, else empty.
std::string resolve_sessions(EventFilter& filter, const std::vector<Event>& events);

// Removes the events `filter` does not keep; returns how many were removed.
std::size_t apply_filter(const EventFilter& filter, std::vector<Event>& events);

}  // namespace vt::cli
