// The text pieces every rendering shares: JSON strings escaped the minimal
// way (UTF-8 kept as is), unsigned numbers, timestamp text, and held JSON
// values serialized anew (keys in ascending byte order, shortest floats),
// compact or laid out at the depth where they stand. Renderers write into
// either a std::string or a BufferedSink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/instant.hpp"
#include "core/records.hpp"

namespace vt {

// `text` quoted and escaped: only the quotation mark, the backslash and
// U+0000..U+001F are escaped. Invalid UTF-8 is replaced by U+FFFD, so the
// output is always valid UTF-8.
template <class Out>
void put_json_string(Out& out, std::string_view text);

template <class Out>
void put_uint(Out& out, std::uint64_t value);

// `value` serialized anew. Compact has no whitespace; pretty uses two-space
// indentation, the value's first line continuing the current one and its
// nested lines indented from `depth` (the level of the line it starts on).
// Nesting is walked with an explicit stack, not recursion.
template <class Out>
void put_json_value(Out& out, const Json& value, bool pretty, std::size_t depth);

// Shortest text that reads back as `value`; integral values keep ".0".
void append_float_text(std::string& out, double value);

// RFC 3339 text of an instant, ending in Z (JSON) or +00:00 (CSV).
inline std::string timestamp_text(const Instant& instant) { return instant.text("Z"); }
inline std::string offset_timestamp_text(const Instant& instant) { return instant.text("+00:00"); }

// `value` serialized compact, as a CSV cell carries it.
std::string value_text(const Json& value);

}  // namespace vt
