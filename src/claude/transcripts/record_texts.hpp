// The texts a transcript record's events say, read from the record in
// place: what records other than prompts and answers mean and say, a tool
// result's text, a usage's figures, and what a record without blocks lacked.
// Kept apart from the mapping of records to events (transcript_records),
// which asks for them.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "core/enums.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/json_view.hpp"

namespace vt::claude {

std::optional<std::string> opt_string(std::optional<std::string_view> text);
// The event type of a record other than user and assistant ones, by `type`
// (or "system/{subtype}").
std::optional<EventType> other_record_type(std::string_view name);
// The first of `keys` that the object holds as a string.
std::optional<std::string_view> first_string(JsonView object, std::initializer_list<std::string_view> keys);
// What a record's other events say: its own text where it has one.
std::optional<std::string> other_message(std::string_view name, JsonView object);
// The files a file-history snapshot record tracks, one per line.
std::optional<std::string> snapshot_paths_text(JsonView object);
// The text of a tool result's content: a string, or its text parts joined
// by line breaks (other parts named in brackets).
std::optional<std::string> result_text(const FieldRef& content);
// "{model}: input {n}, cache write {n}, cache read {n}, output {n}", each
// count only when the usage holds it as a whole number.
std::string usage_text(std::optional<std::string_view> model, JsonView usage);
// The warning of a user or assistant record whose `content` gives no block:
// what it lacked, so no line goes by unexplained.
std::string content_lack(std::string_view record, const FieldRef& content);

}  // namespace vt::claude
