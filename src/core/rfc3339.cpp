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
  // "YYYY-MM-DDThh:mm:ss": nineteen characters at fixed places, read in one go.
  constexpr std::size_t kHead = 19;
  if (text.size() < kHead) return std::nullopt;
  const char* t = text.data();
  if (t[4] != '-' || t[7] != '-' || t[13] != ':' || t[16] != ':') return std::nullopt;
  if (t[10] != 'T' && t[10] != 't' && t[10] != ' ') return std::nullopt;
  bool all_digits = true;
  // The two digits at `at`; a non-digit clears `all_digits`.
  const auto pair = [t, &all_digits](std::size_t at) {
    const auto high = static_cast<unsigned>(t[at] - '0'), low = static_cast<unsigned>(t[at + 1] - '0');
    all_digits &= high < 10 && low < 10;
    return high * 10 + low;
  };
  const unsigned year = pair(0) * 100 + pair(2);
  const unsigned month = pair(5), day = pair(8), hour = pair(11), minute = pair(14), second = pair(17);
  if (!all_digits) return std::nullopt;
  std::size_t pos = kHead;

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

  CivilTime civil;
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

  civil.year = year;
  civil.month = month;
  civil.day = day;
  civil.hour = hour;
  civil.minute = minute;
  civil.second = second;
  civil.nanos = nanos;
  const auto local = Instant::from_civil(civil);
  if (!local) return std::nullopt;
  if (offset_seconds == 0) return local;
  return Instant::from_unix(local->unix_seconds() - offset_seconds, local->nanos());
}

}  // namespace vt
