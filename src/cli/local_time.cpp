#include "cli/local_time.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace vt::cli {

namespace {

std::filesystem::path zone_directory() {
  const char* configured = std::getenv("TZDIR");
  return configured != nullptr && *configured != '\0' ? configured : "/usr/share/zoneinfo";
}

std::string formatted(const Instant& at, const char* format) {
  const std::time_t seconds = static_cast<std::time_t>(at.unix_seconds());
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return {};
  char text[32];
  const std::size_t size = std::strftime(text, sizeof text, format, &local);
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

}  // namespace vt::cli
