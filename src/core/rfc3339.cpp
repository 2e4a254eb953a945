#include "core/rfc3339.hpp"

#include <cstdint>

namespace vt {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads exactly `count` decimal digits at `pos`, advancing it.
std::optional<unsigned> digits(std::string_view text, std::size_t& pos, std::size_t count) {
  if (text.size() - pos < count) return std::nullopt;
  unsigned value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[pos + i];
    if (!is_digit(c)) return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  pos += count;
  return value;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

std::optional<Instant> parse_rfc3339(std::string_view text) {
  std::size_t pos = 0;
  CivilTime civil;
  const auto year = digits(text, pos, 4);
  if (!year || !expect(text, pos, '-')) return std::nullopt;
  const auto month = digits(text, pos, 2);
  if (!month || !expect(text, pos, '-')) return std::nullopt;
  const auto day = digits(text, pos, 2);
  if (!day || pos >= text.size()) return std::nullopt;
  const char sep = text[pos++];
  if (sep != 'T' && sep != 't' && sep != ' ') return std::nullopt;
  const auto hour = digits(text, pos, 2);
  if (!hour || !expect(text, pos, ':')) return std::nullopt;
  const auto minute = digits(text, pos, 2);
  if (!minute || !expect(text, pos, ':')) return std::nullopt;
  const auto second = digits(text, pos, 2);
  if (!second) return std::nullopt;

  std::uint32_t nanos = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    const std::size_t start = pos;
    std::uint32_t scale = 100'000'000;
    while (pos < text.size() && is_digit(text[pos])) {
      nanos += static_cast<std::uint32_t>(text[pos] - '0') * scale;
      scale /= 10;  // becomes 0 after nine digits: the rest is truncated
      ++pos;
    }
    if (pos == start) return std::nullopt;
  }

  std::int64_t offset_seconds = 0;
  if (pos >= text.size()) return std::nullopt;
  const char zone = text[pos++];
  if (zone == '+' || zone == '-') {
    const auto off_hour = digits(text, pos, 2);
    if (!off_hour || !expect(text, pos, ':')) return std::nullopt;
    const auto off_minute = digits(text, pos, 2);
    if (!off_minute || *off_hour > 23 || *off_minute > 59) return std::nullopt;
    offset_seconds = static_cast<std::int64_t>(*off_hour) * 3600 + *off_minute * 60;
    if (zone == '-') offset_seconds = -offset_seconds;
  } else if (zone != 'Z' && zone != 'z') {
    return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;

  civil.year = *year;
  civil.month = *month;
  civil.day = *day;
  civil.hour = *hour;
  civil.minute = *minute;
  civil.second = *second;
  civil.nanos = nanos;
  const auto local = Instant::from_civil(civil);
  if (!local) return std::nullopt;
  if (offset_seconds == 0) return local;
  return Instant::from_unix(local->unix_seconds() - offset_seconds, local->nanos());
}

}  // namespace vt
