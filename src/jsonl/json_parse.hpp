// Parsing of one line of text into a held JSON value. Nesting is bounded while
// the value is built (deeper input is refused before it can exhaust the stack
// of anything that later walks the value), and every failure comes back as a
// printable description ending in " at line {l} column {c}".
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "core/records.hpp"

namespace vt {

// Deepest nesting of arrays and objects accepted.
inline constexpr std::size_t kMaxJsonDepth = 128;

// One JSON value, optionally preceded by a UTF-8 byte-order mark and
// surrounded by JSON white space. Repeated object keys: the last one wins.
// Numbers too large for a double are refused, never held as infinity. Every
// byte of `text` counts: a NUL is a stray byte like any other.
std::expected<Json, std::string> parse_json_text(std::string_view text);

}  // namespace vt
