// Days, weeks, months and instants as the person reading the summary counts
// them: in the local time zone of the program (TZ, else the system's), or the
// IANA zone named by --timezone, through the C library's zone database. The
// summary's rows and the --since/--until dates use this one zone. Only the
// program sets the zone, for its own process.
#pragma once

#include <cstdint>
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
// "2026-04": the local month of `at`.
std::string local_month(const Instant& at);
// "2026-04-08T14:17:03+02:00": `at` in local time with its offset, to the second.
std::string local_time_text(const Instant& at);

struct LocalDate {
  std::int64_t year = 1970;
  unsigned month = 1, day = 1;
};

// The local date of `at`.
std::optional<LocalDate> local_date(const Instant& at);
// The instant the local day `date` + `days_after` days starts (its first
// second; on a day that skips midnight, the first second it has).
std::optional<Instant> local_day_start(const LocalDate& date, std::int64_t days_after = 0);

}  // namespace vt::cli
