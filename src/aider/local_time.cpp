#include "aider/local_time.hpp"

#include <cstdio>
#include <ctime>

namespace vt::aider {

namespace {

bool digits(std::string_view text, std::size_t at, std::size_t count, unsigned& out) {
  if (at + count > text.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<LocalTime> parse_local_time(std::string_view text) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (text.size() < 19 || !digits(text, 0, 4, year) || text[4] != '-' || !digits(text, 5, 2, month) ||
      text[7] != '-' || !digits(text, 8, 2, day) || (text[10] != ' ' && text[10] != 'T') ||
      !digits(text, 11, 2, hour) || text[13] != ':' || !digits(text, 14, 2, minute) || text[16] != ':' ||
      !digits(text, 17, 2, second)) {
    return std::nullopt;
  }
  std::uint32_t nanos = 0;
  if (text.size() > 19) {
    if (text[19] != '.' || text.size() == 20 || text.size() > 29) return std::nullopt;
    unsigned fraction = 0;
    if (!digits(text, 20, text.size() - 20, fraction)) return std::nullopt;
    nanos = fraction;
    for (std::size_t i = text.size() - 20; i < 9; ++i) nanos *= 10;
  }
  LocalTime local{CivilTime{year, month, day, hour, minute, second, nanos}};
  // The calendar must hold the date (no 31 February, no second 60 in local time).
  if (second > 59 || !Instant::from_civil(local.civil)) return std::nullopt;
  return local;
}

std::optional<ZonedTime> in_program_zone(const LocalTime& local, std::string_view what) {
  std::tm fields{};
  fields.tm_year = static_cast<int>(local.civil.year - 1900);
  fields.tm_mon = static_cast<int>(local.civil.month) - 1;
  fields.tm_mday = static_cast<int>(local.civil.day);
  fields.tm_hour = static_cast<int>(local.civil.hour);
  fields.tm_min = static_cast<int>(local.civil.minute);
  fields.tm_sec = static_cast<int>(local.civil.second);
  fields.tm_isdst = -1;  // the zone database decides
  const std::time_t seconds = std::mktime(&fields);
  if (seconds == static_cast<std::time_t>(-1) && fields.tm_year != 69) return std::nullopt;
  const std::optional<Instant> instant = Instant::from_unix(seconds, local.civil.nanos);
  if (!instant) return std::nullopt;
  // The offset the zone applied: the wall clock read as UTC less the instant.
  CivilTime wall = local.civil;
  wall.nanos = 0;
  const std::optional<Instant> as_utc = Instant::from_civil(wall);
  const long offset = as_utc ? static_cast<long>(as_utc->unix_seconds() - seconds) : 0;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char text[40];
  std::snprintf(text, sizeof text, "UTC%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return ZonedTime{*instant, std::string(what) + " has no time zone: read as local time (" + text + ")"};
}

}  // namespace vt::aider
