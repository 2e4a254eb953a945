// A tool call as every agent's timeline shows it: its main argument (the
// member of the call's input that says what it acts on), on one line and
// cut, and the call's one-line message "{name}: {argument}". Which members
// name the main argument, and in which order, is each agent's own knowledge
// and stays in its folder; picking the first present and showing it is the
// same for all of them, here.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "jsonl/json_view.hpp"

namespace vt {

// How a member's value reads as an argument text (nothing: it does not).
using ArgumentText = std::optional<std::string> (*)(JsonView value);

// A string value as it is; any other value does not read.
std::optional<std::string> string_argument(JsonView value);

// The first of `keys` that the object `input` holds and `text` reads, as
// written; nothing when `input` is not an object or none of them reads.
std::optional<std::string> first_argument(JsonView input, std::span<const std::string_view> keys,
                                          ArgumentText text = string_argument);

// That argument on one line and cut (`one_line_argument`): the call's
// `tool_input` fact. `input` may be null.
std::optional<std::string> main_argument(const JsonView* input, std::span<const std::string_view> keys,
                                         ArgumentText text = string_argument);

// "{name}: {argument}", or the name alone without one.
std::string call_message(std::string_view name, const std::optional<std::string>& argument);

}  // namespace vt
