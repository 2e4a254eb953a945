// What the Aider readers share: the event built for a block of one of its
// files, the texts compared when a record of one file repeats another's
// (lines' trailing blanks and the blank lines around ignored), and the
// session a launch stands for.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "aider/local_time.hpp"
#include "core/records.hpp"
#include "core/repeated_texts.hpp"
#include "hash/event_id.hpp"

namespace vt::aider {

struct BlockPlace {
  ArtifactKind kind;
  const SharedString& relative_path;
  std::uint64_t line;  // the block's first line, also its source key ("aider_{file}:{line}")
  std::string_view file_key;  // "chat", "input", "llm"
  std::string_view record_type;
};

// An Aider event for the block at `place`, appended to `events`; the record
// type shared through `types`.
Event& add_block_event(std::vector<Event>& events, EventIds& ids, RepeatedTexts& types, const BlockPlace& place,
                       EventType type);

// The text as compared between files.
std::string compared_text(std::string_view text);

// A launch's session id: "aider:" and its local start time as written
// ("aider:2025-05-04T17:02:36"), or "aider:line-{n}" when that time does not read.
std::string launch_session_id(const std::optional<LocalTime>& start, std::uint64_t line);

}  // namespace vt::aider
