// Days and weeks as the person reading the summary counts them: in the local
// time zone of the program (TZ, else the system's), or the IANA zone named by
// --timezone, through the C library's zone database. Only the program sets
// the zone, for its own process.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/instant.hpp"

namespace vt::cli {

// An error text when `zone` is not a zone of the database (an IANA name such
// as "Europe/Berlin" or "UTC"), else empty.
std::string check_time_zone(std::string_view zone);

// Makes `zone` (after check_time_zone; empty: the local zone) the zone of
// every later local date.
void use_time_zone(const std::string& zone);

// "2026-04-08": the local date of `at`.
std::string local_day(const Instant& at);
// "2026-W15": the ISO 8601 week (Monday first) of `at`'s local date.
std::string local_week(const Instant& at);

}  // namespace vt::cli
