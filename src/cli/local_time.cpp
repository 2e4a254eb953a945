#include "cli/local_time.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>

namespace vt::cli {

namespace {

std::filesystem::path zone_directory() {
  const char* configured = std::getenv("TZDIR");
  return configured != nullptr && *configured != '\0' ? configured : "/usr/share/zoneinfo";
}

std::optional<std::tm> local_fields(const Instant& at) {
  const std::time_t seconds = static_cast<std::time_t>(at.unix_seconds());
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return std::nullopt;
  return local;
}

std::string formatted(const Instant& at, const char* format) {
  const auto local = local_fields(at);
  if (!local) return {};
  char text[48];
  const std::size_t size = std::strftime(text, sizeof text, format, &*local);
  return std::string(text, size);
}

}  // namespace

std::string check_time_zone(std::string_view zone) {
  const std::string shown = "'" + std::string(zone) + "'";
  if (zone.empty() || zone.front() == '/' || zone.find("..") != std::string_view::npos ||
      zone.find('\0') != std::string_view::npos) {
    return shown + " is not a time zone name (such as Europe/Berlin or UTC)";
  }
  // A zone file of the database starts with the magic "TZif".
  std::ifstream file(zone_directory() / std::string(zone), std::ios::binary);
  char magic[4] = {};
  if (!file || !file.read(magic, sizeof magic) || std::string_view(magic, 4) != "TZif") {
    return shown + " is not a time zone of the zone database in " + zone_directory().string();
  }
  return {};
}

void use_time_zone(const std::string& zone) {
  if (!zone.empty()) ::setenv("TZ", zone.c_str(), 1);
  ::tzset();
}

std::string local_day(const Instant& at) { return formatted(at, "%Y-%m-%d"); }

std::string local_week(const Instant& at) { return formatted(at, "%G-W%V"); }

std::string local_month(const Instant& at) { return formatted(at, "%Y-%m"); }

std::string local_time_text(const Instant& at) {
  const auto local = local_fields(at);
  if (!local) return {};
  char text[48];
  std::size_t size = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &*local);
  const long offset = local->tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  size += static_cast<std::size_t>(std::snprintf(text + size, sizeof text - size, "%c%02ld:%02ld",
                                                 offset < 0 ? '-' : '+', minutes / 60, minutes % 60));
  return std::string(text, size);
}

std::optional<LocalDate> local_date(const Instant& at) {
  const auto local = local_fields(at);
  if (!local) return std::nullopt;
  return LocalDate{std::int64_t{local->tm_year} + 1900, static_cast<unsigned>(local->tm_mon + 1),
                   static_cast<unsigned>(local->tm_mday)};
}

std::optional<Instant> local_day_start(const LocalDate& date, std::int64_t days_after) {
  // The calendar day first (any month length, any year), then its local midnight.
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civil_from_days(days_from_civil(date.year, date.month, date.day) + days_after, year, month, day);
  if (year - 1900 < std::numeric_limits<int>::min() || year - 1900 > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  std::tm local{};
  local.tm_year = static_cast<int>(year - 1900);
  local.tm_mon = static_cast<int>(month) - 1;
  local.tm_mday = static_cast<int>(day);
  local.tm_isdst = -1;  // whatever the zone says for that day
  const std::time_t start = std::mktime(&local);
  if (start == static_cast<std::time_t>(-1) && (local.tm_year != year - 1900 || local.tm_mday != static_cast<int>(day))) {
    return std::nullopt;
  }
  // mktime moves a midnight the day lacks (a clock set forward at 00:00) to
  // the first second after the gap, which is that day's start.
  return Instant::from_unix(static_cast<std::int64_t>(start));
}

}  // namespace vt::cli
