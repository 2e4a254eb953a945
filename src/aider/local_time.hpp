// Aider writes its times as local wall-clock time without a zone
// ("2025-05-04 17:02:36", "2025-05-04 17:06:57.158813",
// "2025-05-04T17:06:58"). They are read in the program's time zone: the
// zone `--timezone` names (the program makes it the zone of its process),
// else the local one (TZ, else the system's), through the C library's zone
// database. Every event whose time was read so carries a warning naming
// the offset applied.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/instant.hpp"

namespace vt::aider {

// Local date and time with the fraction as written (microseconds at most).
struct LocalTime {
  CivilTime civil;
  friend auto operator<=>(const LocalTime& a, const LocalTime& b) {
    const auto& x = a.civil;
    const auto& y = b.civil;
    if (auto c = x.year <=> y.year; c != 0) return c;
    if (auto c = x.month <=> y.month; c != 0) return c;
    if (auto c = x.day <=> y.day; c != 0) return c;
    if (auto c = x.hour <=> y.hour; c != 0) return c;
    if (auto c = x.minute <=> y.minute; c != 0) return c;
    if (auto c = x.second <=> y.second; c != 0) return c;
    return x.nanos <=> y.nanos;
  }
  friend bool operator==(const LocalTime& a, const LocalTime& b) { return (a <=> b) == 0; }
};

// "YYYY-MM-DD HH:MM:SS[.f…]" (or 'T' between date and time), exactly; absent otherwise.
std::optional<LocalTime> parse_local_time(std::string_view text);

struct ZonedTime {
  Instant instant;
  std::string warning;  // "… read as local time (UTC+02:00)"
};

// The instant of a local time in the program's zone; absent when the zone
// database cannot place it.
std::optional<ZonedTime> in_program_zone(const LocalTime& local, std::string_view what);

}  // namespace vt::aider
