#include "core/instant.hpp"

#include <array>
#include <cstdint>
#include <cstring>

namespace vt {

namespace {
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::uint32_t kBillion = 1'000'000'000;

bool leap_year(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned days_in_month(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap_year(y) ? 29u : kDays[m - 1];
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
}  // namespace

std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = floor_div(y, 400);
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (m + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t& year, unsigned& month, unsigned& day) {
  z += 719468;
  const std::int64_t era = floor_div(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2);
}

std::optional<Instant> Instant::from_unix(std::int64_t seconds, std::uint32_t nanos) {
  if (nanos >= 2 * kBillion) return std::nullopt;
  static const std::int64_t kMin = days_from_civil(kMinYear, 1, 1) * kSecondsPerDay;
  static const std::int64_t kMax = (days_from_civil(kMaxYear, 12, 31) + 1) * kSecondsPerDay - 1;
  if (seconds < kMin || seconds > kMax) return std::nullopt;
  if (nanos >= kBillion) {
    // A leap second follows the last second of a minute. Which minutes really
    // had one is not checked: a recorded second 60 is kept, in any minute.
    if (floor_div(seconds + 1, 60) * 60 != seconds + 1) return std::nullopt;
  }
  return Instant(seconds, nanos);
}

std::optional<Instant> Instant::from_civil(const CivilTime& c) {
  if (c.year < kMinYear || c.year > kMaxYear) return std::nullopt;
  if (c.month < 1 || c.month > 12) return std::nullopt;
  if (c.day < 1 || c.day > days_in_month(c.year, c.month)) return std::nullopt;
  if (c.hour > 23 || c.minute > 59 || c.second > 60 || c.nanos >= kBillion) return std::nullopt;
  const std::int64_t days = days_from_civil(c.year, c.month, c.day);
  std::int64_t secs = days * kSecondsPerDay + c.hour * 3600 + c.minute * 60;
  std::uint32_t nanos = c.nanos;
  if (c.second == 60) {
    secs += 59;
    nanos += kBillion;
  } else {
    secs += c.second;
  }
  return from_unix(secs, nanos);
}

CivilTime Instant::civil() const {
  CivilTime c;
  const std::int64_t days = floor_div(seconds_, kSecondsPerDay);
  std::int64_t sod = seconds_ - days * kSecondsPerDay;
  civil_from_days(days, c.year, c.month, c.day);
  c.hour = static_cast<unsigned>(sod / 3600);
  c.minute = static_cast<unsigned>(sod / 60 % 60);
  c.second = static_cast<unsigned>(sod % 60);
  c.nanos = nanos_;
  if (nanos_ >= kBillion) {
    c.second = 60;
    c.nanos = nanos_ - kBillion;
  }
  return c;
}

namespace {

// Appends to a character array known to be large enough.
struct TextOut {
  char* at;
  void push_back(char c) { *at++ = c; }
  void append(std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    at += text.size();
  }
};

// "00" to "99", two characters each.
constexpr auto kPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// `width` decimal digits of `value`, zero-padded (value < 10^width), two at
// a time from the end.
void append_digits(TextOut& out, std::uint64_t value, int width) {
  int i = width;
  for (; i >= 2; i -= 2) {
    std::memcpy(out.at + i - 2, &kPairs[2 * (value % 100)], 2);
    value /= 100;
  }
  if (i == 1) out.at[0] = static_cast<char>('0' + value % 10);
  out.at += width;
}

}  // namespace

std::size_t Instant::write_text(char* text, std::string_view zone) const {
  const CivilTime c = civil();
  TextOut out{text};
  std::uint64_t year = static_cast<std::uint64_t>(c.year < 0 ? -c.year : c.year);
  if (c.year < 0 || c.year > 9999) out.push_back(c.year < 0 ? '-' : '+');
  append_digits(out, year, year > 99999 ? 6 : (year > 9999 ? 5 : 4));
  out.push_back('-');
  append_digits(out, c.month, 2);
  out.push_back('-');
  append_digits(out, c.day, 2);
  out.push_back('T');
  append_digits(out, c.hour, 2);
  out.push_back(':');
  append_digits(out, c.minute, 2);
  out.push_back(':');
  append_digits(out, c.second, 2);
  out.at += write_fraction(out.at, c.nanos, zone);
  return static_cast<std::size_t>(out.at - text);
}

std::size_t Instant::write_fraction(char* text, std::uint32_t nanos, std::string_view zone) {
  TextOut out{text};
  if (nanos != 0) {
    out.push_back('.');
    if (nanos % 1'000'000 == 0) {
      append_digits(out, nanos / 1'000'000, 3);
    } else if (nanos % 1000 == 0) {
      append_digits(out, nanos / 1000, 6);
    } else {
      append_digits(out, nanos, 9);
    }
  }
  out.append(zone.substr(0, kMaxZone));
  return static_cast<std::size_t>(out.at - text);
}

std::string Instant::text(std::string_view zone) const {
  char text[kMaxText];
  return std::string(text, write_text(text, zone));
}

}  // namespace vt
