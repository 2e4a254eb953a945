// Parsing of RFC 3339 date-times as agents write them into their records,
// normalised to a UTC instant.
#pragma once

#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace vt {

// "YYYY-MM-DDThh:mm:ss[.fraction](Z|+hh:mm|-hh:mm)". The separator may also be
// a lowercase "t" or a blank and the zone a lowercase "z"; fractions beyond
// nanoseconds are truncated; second 60 is a leap second in any minute and
// under any offset. Absent when the text is not such a date-time or names no
// representable instant.
std::optional<Instant> parse_rfc3339(std::string_view text);

}  // namespace vt
