// Copies in the timeline of the full reading. The same evidence is often
// read more than once: Claude Code 0.2.x wrote byte-identical lines twice,
// a resumed session replays earlier turns (new record ids, the same API
// message and tool call ids), a sub-agent's file repeats its parent's
// records, two backups of one home hold the same files. Every line still
// gives its event (nothing is dropped); a copy is marked with the
// `event_id` of the occurrence counted in its stead (`Event::copy_of`),
// its first in timeline order, and counts nowhere. A record read at several
// places (same record id) counts at its earliest outside any sub-agent,
// else its earliest, as the count rule takes it.
//
// An event is a copy of an earlier one (neither a copy itself) with, for
// agents whose ids are unique (`Adapter::unique_ids`),
// - the same record id (`facts.record_id`) and the same place among that
//   record's events of its record type (a line written again);
// - the same tool call id and event type (a call or its result replayed,
//   or written twice by the agent);
// - the same API message id, event type, record type and non-empty text (an
//   answer or reasoning replayed; a call or result with a call id is known by
//   that id alone, since calls of one message may read alike);
// - the same API message id, for token usage (the counted one carries the
//   last streamed chunk of its own file);
// and, for every agent,
// - the same `event_id`, text, record type, time and file digest of its
//   artifact, read from another input (one place under two backups).
// Copies a reader marked itself keep their mark; one whose first occurrence
// becomes a copy here is pointed on to what that one copies.
#pragma once

#include <vector>

#include "core/records.hpp"

namespace vt {

// Marks the copies among `events`, which are in timeline order.
void mark_copies(std::vector<Event>& events);

}  // namespace vt
