// Date-time texts as a prompt history may hold them in place of a number:
// RFC 3339 with a forgiving outer form, normalised to a UTC instant.
#pragma once

#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace vt::claude {

// "YYYY-MM-DD(T|t| )hh:mm:ss[.fraction]" followed by a zone, which is required:
// "Z" or "z", "UTC" in any letter case, or an offset "+hh:mm", "-hh:mm",
// "+hhmm" or "-hhmm", optionally after blanks. White space around the whole
// text is ignored; second 60 is a leap second. `text` must be valid UTF-8.
std::optional<Instant> parse_relaxed_datetime(std::string_view text);

}  // namespace vt::claude
