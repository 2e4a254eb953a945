// A UTC instant with nanosecond precision, as every timestamp of the timeline
// carries it. A leap second (second 60, accepted at the end of any minute) is
// held as second 59 of its minute with a nanosecond count of one billion or
// more, so that plain comparison of (seconds, nanos) orders instants correctly.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

struct CivilTime {
  std::int64_t year = 1970;
  unsigned month = 1;   // 1..12
  unsigned day = 1;     // 1..31
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;  // 0..60
  std::uint32_t nanos = 0;  // 0..999'999'999
};

class Instant {
 public:
  // Earliest and latest representable years (proleptic Gregorian).
  static constexpr std::int64_t kMinYear = -262143;
  static constexpr std::int64_t kMaxYear = 262142;

  // Seconds since 1970-01-01T00:00:00Z plus nanoseconds (0..1'999'999'999;
  // values of one billion or more only inside a leap second, which must then
  // stand at second 59 of a minute). Absent when the instant lies outside the
  // representable calendar.
  static std::optional<Instant> from_unix(std::int64_t seconds, std::uint32_t nanos = 0);
  // From calendar fields in UTC; second 60 makes a leap-second instant.
  // Absent when a field is out of range or the date is outside the calendar.
  static std::optional<Instant> from_civil(const CivilTime& civil);

  std::int64_t unix_seconds() const { return seconds_; }
  std::uint32_t nanos() const { return nanos_; }
  CivilTime civil() const;

  // ISO 8601 text: year (signed and padded to four digits outside 0..9999),
  // fraction of 0/3/6/9 digits, then `zone` ("Z" or "+00:00").
  std::string text(std::string_view zone = "Z") const;
  // The same text written to `out`, which holds at least kMaxText bytes (a
  // zone is cut at kMaxZone bytes); returns its length.
  static constexpr std::size_t kMaxZone = 6;
  static constexpr std::size_t kMaxText = 32 + kMaxZone;
  std::size_t write_text(char* out, std::string_view zone = "Z") const;
  // What that text has after the seconds: the fraction of `nanos`
  // (0..999'999'999) and `zone`. A writer of many instants keeps the text up
  // to the seconds of the last whole second it wrote and adds this part.
  static std::size_t write_fraction(char* out, std::uint32_t nanos, std::string_view zone);

  friend auto operator<=>(const Instant&, const Instant&) = default;
  friend bool operator==(const Instant&, const Instant&) = default;

 private:
  Instant(std::int64_t s, std::uint32_t n) : seconds_(s), nanos_(n) {}
  std::int64_t seconds_ = 0;
  std::uint32_t nanos_ = 0;
};

// Days since 1970-01-01 for a proleptic Gregorian date, and back.
std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day);
void civil_from_days(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day);

}  // namespace vt
