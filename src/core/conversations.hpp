// Conversations as threads (full reading). A resumed Claude Code session
// goes on in a new transcript file whose first records still carry the old
// session id while its answers carry the new one; a sub-agent's file carries
// its parent's. A transcript file is one thread whatever session ids its
// records carry: its events belong to the file's conversation session (the
// session its last record naming one names), and the sessions its records
// name besides are the sessions that one continues.
//
// The API the session pages use:
//   const Conversations threads = tie_conversations(report.events);
//   threads.session_of[i]            // the session whose page shows events[i]
//   threads.links_of(provider, id)   // what that session continues / is continued by
// Events of other files (prompt histories, rollouts, caches) keep their own
// `session_id`. Links are kept per agent; both lists are sorted and hold no
// session twice.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/records.hpp"

namespace vt {

struct SessionLinks {
  std::vector<std::string> continues;     // sessions this one takes up
  std::vector<std::string> continued_by;  // sessions that take this one up
};

struct Conversations {
  // Per event, by its index in the events given: the session of its thread
  // (absent when the event names no session and its file none either).
  std::vector<OptionalShared> session_of;
  std::map<std::pair<Provider, std::string>, SessionLinks, std::less<>> links;

  // The links of a session; null when it continues nothing and nothing continues it.
  const SessionLinks* links_of(Provider provider, std::string_view session) const;
};

Conversations tie_conversations(const std::vector<Event>& events);

}  // namespace vt
