// What one rollout record means: its type tags, the event type it maps to,
// its message text and its source identifier. Pure functions of the record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/enums.hpp"
#include "core/records.hpp"
#include "jsonl/fields.hpp"

namespace vt::codex {

// The older rollout forms (before records had a payload wrapper), read in
// the full reading only: an item at the top level, a state snapshot, the
// session header that opens the file.
enum class LegacyForm : std::uint8_t { None, Item, State, Header };

// The type tags of a record, read once.
struct SessionRecord {
  std::string_view record_type = "unknown";  // top-level `type`, "unknown" when not a string
  FieldRef payload;                          // `payload` when it is an object
  std::optional<std::string_view> payload_type;  // payload `type` when a string
  LegacyForm legacy = LegacyForm::None;
};

SessionRecord view_session_record(JsonView object);

// A record without a `payload` member seen as its newer form, the object
// being its own payload: `{"type":"message","role":…}` (or an item with a
// `role` and no `type`) as the item of that type (record type the item's
// type, or "message"); `{"record_type":"state"}` as a state record (record
// type "state", `task_state`); an object without `type` holding string `id`
// and `timestamp` as the session header (record type "session_header",
// `session_start`, setting the session like `session_meta`). Absent for any
// other record.
std::optional<SessionRecord> view_legacy_record(JsonView object);

// The event type; `Unknown` when the record's type is not mapped.
EventType session_event_type(const SessionRecord& record);

// "{record type}/{payload type}", or the record type alone, written into
// `buffer` (reused from record to record).
std::string_view session_record_type_text(const SessionRecord& record, std::string& buffer);

// "Unmapped Codex record type: {record type}/{payload type or none}".
std::string unmapped_record_warning(const SessionRecord& record);

// The event's message: the payload's own text, a message's content parts, a
// tool call's name (with its arguments when content is asked for), or a
// tool result's output (only when content is asked for).
std::optional<std::string> session_message(const SessionRecord& record, EventType type,
                                           bool include_content);

// The `text` strings of an array of content parts, joined by `separator`;
// absent when the value is no array or no part has a text.
std::optional<std::string> joined_part_texts(JsonView parts, std::string_view separator = "\n");

// The payload's `call_id`; without that key, its `id`; when they are strings.
std::optional<std::string> session_source_id(const SessionRecord& record);

}  // namespace vt::codex
