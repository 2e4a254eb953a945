// The parts every Copilot CLI reader shares: where an event comes from, the
// event built from it (provider, identifier, source, session, time), the
// facts a session's other files give, and the small texts the readers show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/options.hpp"
#include "core/records.hpp"
#include "core/repeated_texts.hpp"
#include "hash/event_id.hpp"
#include "jsonl/json_view.hpp"

namespace vt::copilot {

// What a session's own folder or file name, and its workspace file, say of
// it: applied to the events of its logs that do not say it themselves.
struct SessionDefaults {
  OptionalShared session_id;
  OptionalShared working_directory;
  OptionalShared git_branch;
};

// Where one record lies and when it was written.
struct RecordPlace {
  ArtifactKind kind;
  const SharedString& relative_path;
  std::optional<std::uint64_t> line;
  std::string_view key;  // the source key of the record's events (see the readers)
  std::string_view record_type;
  OptionalShared record_id = {};
  std::optional<Instant> time = {};
  TimestampSource time_source = TimestampSource::None;
};

// A Copilot CLI event from `place`, appended to `events` (its sequence is
// its position there): identifier from the place's path, key and ordinal;
// the record type shared through `types` when given.
Event& add_event(std::vector<Event>& events, EventIds& ids, const RecordPlace& place, EventType type,
                 std::optional<std::uint64_t> ordinal, RepeatedTexts* types = nullptr);

// A tool call's one-line message ("{name}: {main argument}") and its main
// argument alone (the `tool_input` fact): the file a call views, creates or
// edits, the pattern it searches, the command it runs, the URL, query,
// question, intent or summary it states, the first of these present.
struct CallText {
  std::string message;
  std::optional<std::string> argument;
};
CallText call_text(std::string_view name, const JsonView* arguments);

// The text of the member when it is a string.
OptionalShared text_of(JsonView object, std::string_view key);

// A whole number member as an unsigned count.
std::optional<std::uint64_t> count_of(JsonView object, std::string_view key);

// The text less the blocks the agent appends to a typed prompt
// ("<current_datetime>…</current_datetime>", "<reminder>…</reminder>" at its
// end) and surrounding blanks: what the person typed, for matching a prompt
// history to the sessions.
std::string_view typed_part(std::string_view text);

}  // namespace vt::copilot
