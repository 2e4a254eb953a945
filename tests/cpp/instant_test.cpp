#include <gtest/gtest.h>

#include <string>

#include "core/instant.hpp"

namespace {

using vt::CivilTime;
using vt::Instant;

Instant civil(std::int64_t y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s,
              std::uint32_t ns = 0) {
  const auto i = Instant::from_civil(CivilTime{y, mo, d, h, mi, s, ns});
  EXPECT_TRUE(i.has_value()) << y << "-" << mo << "-" << d << " " << h << ":" << mi << ":" << s;
  return i.value_or(*Instant::from_unix(0));
}

struct TextCase {
  CivilTime time;
  const char* text;
};

class InstantText : public ::testing::TestWithParam<TextCase> {};

TEST_P(InstantText, RendersIsoForm) {
  const TextCase& c = GetParam();
  const auto instant = Instant::from_civil(c.time);
  ASSERT_TRUE(instant.has_value());
  EXPECT_EQ(instant->text(), c.text);
  // The same characters with the offset form.
  std::string offset = c.text;
  offset.replace(offset.size() - 1, 1, "+00:00");
  EXPECT_EQ(instant->text("+00:00"), offset);
  // Calendar fields survive the round trip.
  const CivilTime back = instant->civil();
  EXPECT_EQ(back.year, c.time.year);
  EXPECT_EQ(back.month, c.time.month);
  EXPECT_EQ(back.day, c.time.day);
  EXPECT_EQ(back.second, c.time.second);
  EXPECT_EQ(back.nanos, c.time.nanos);
}

INSTANTIATE_TEST_SUITE_P(
    Fractions, InstantText,
    ::testing::Values(
        TextCase{{2024, 5, 1, 12, 0, 0, 0}, "2024-05-01T12:00:00Z"},
        TextCase{{2024, 5, 1, 12, 0, 0, 250'000'000}, "2024-05-01T12:00:00.250Z"},
        TextCase{{2024, 5, 1, 12, 0, 0, 120'000'000}, "2024-05-01T12:00:00.120Z"},
        TextCase{{2024, 5, 1, 12, 0, 0, 120'000}, "2024-05-01T12:00:00.000120Z"},
        TextCase{{2024, 5, 1, 12, 0, 0, 1'000}, "2024-05-01T12:00:00.000001Z"},
        TextCase{{2024, 5, 1, 12, 0, 0, 1}, "2024-05-01T12:00:00.000000001Z"},
        TextCase{{2024, 5, 1, 12, 0, 0, 999'999'999}, "2024-05-01T12:00:00.999999999Z"},
        TextCase{{2024, 5, 1, 12, 0, 0, 100'000'010}, "2024-05-01T12:00:00.100000010Z"}));

INSTANTIATE_TEST_SUITE_P(
    Calendar, InstantText,
    ::testing::Values(
        TextCase{{1970, 1, 1, 0, 0, 0, 0}, "1970-01-01T00:00:00Z"},
        TextCase{{1969, 12, 31, 23, 59, 59, 500'000'000}, "1969-12-31T23:59:59.500Z"},
        TextCase{{2024, 2, 29, 23, 59, 59, 0}, "2024-02-29T23:59:59Z"},
        TextCase{{2000, 2, 29, 1, 2, 3, 0}, "2000-02-29T01:02:03Z"},
        TextCase{{0, 1, 1, 0, 0, 0, 0}, "0000-01-01T00:00:00Z"},
        TextCase{{9999, 12, 31, 23, 59, 59, 0}, "9999-12-31T23:59:59Z"},
        TextCase{{10000, 1, 1, 0, 0, 0, 0}, "+10000-01-01T00:00:00Z"},
        TextCase{{-1, 12, 31, 0, 0, 0, 0}, "-0001-12-31T00:00:00Z"},
        TextCase{{-12345, 3, 1, 0, 0, 0, 0}, "-12345-03-01T00:00:00Z"},
        TextCase{{2016, 12, 31, 23, 59, 60, 0}, "2016-12-31T23:59:60Z"},
        TextCase{{2016, 12, 31, 23, 59, 60, 500'000'000}, "2016-12-31T23:59:60.500Z"},
        // A recorded leap second is kept in whatever minute it stands.
        TextCase{{2016, 12, 31, 12, 0, 60, 0}, "2016-12-31T12:00:60Z"},
        TextCase{{2100, 5, 16, 5, 58, 60, 120'000'000}, "2100-05-16T05:58:60.120Z"}));

TEST(Instant, RejectsInvalidCalendarFields) {
  const CivilTime bad[] = {
      {2023, 2, 29, 0, 0, 0, 0},   {1900, 2, 29, 0, 0, 0, 0}, {2024, 13, 1, 0, 0, 0, 0},
      {2024, 0, 1, 0, 0, 0, 0},    {2024, 4, 31, 0, 0, 0, 0}, {2024, 1, 0, 0, 0, 0, 0},
      {2024, 1, 1, 24, 0, 0, 0},   {2024, 1, 1, 0, 60, 0, 0}, {2024, 1, 1, 0, 0, 61, 0},
      {2024, 1, 1, 0, 0, 0, 1'000'000'000},
      {Instant::kMaxYear + 1, 1, 1, 0, 0, 0, 0}, {Instant::kMinYear - 1, 1, 1, 0, 0, 0, 0}};
  for (const CivilTime& c : bad) {
    EXPECT_FALSE(Instant::from_civil(c).has_value())
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute << ":"
        << c.second << "." << c.nanos;
  }
}

TEST(Instant, LeapSecondOrdersBetweenItsNeighbours) {
  const Instant before = civil(2016, 12, 31, 23, 59, 59, 999'999'999);
  const Instant leap = civil(2016, 12, 31, 23, 59, 60, 0);
  const Instant leap_late = civil(2016, 12, 31, 23, 59, 60, 999'999'999);
  const Instant after = civil(2017, 1, 1, 0, 0, 0, 0);
  EXPECT_LT(before, leap);
  EXPECT_LT(leap, leap_late);
  EXPECT_LT(leap_late, after);
}

TEST(Instant, ComparesChronologicallyAcrossEraAndFraction) {
  EXPECT_LT(civil(-1, 12, 31, 23, 59, 59), civil(0, 1, 1, 0, 0, 0));
  EXPECT_LT(civil(1969, 12, 31, 23, 59, 59, 999'999'999), civil(1970, 1, 1, 0, 0, 0));
  EXPECT_LT(civil(2024, 5, 1, 12, 0, 0, 1), civil(2024, 5, 1, 12, 0, 0, 2));
  EXPECT_EQ(civil(2024, 5, 1, 12, 0, 0, 7), civil(2024, 5, 1, 12, 0, 0, 7));
}

TEST(Instant, UnixSecondsMatchCalendar) {
  EXPECT_EQ(civil(2024, 5, 1, 12, 0, 0).unix_seconds(), 1714564800);
  EXPECT_EQ(civil(1969, 12, 31, 23, 59, 59).unix_seconds(), -1);
  const auto from_unix = Instant::from_unix(1714564800, 120'000'000);
  ASSERT_TRUE(from_unix.has_value());
  EXPECT_EQ(from_unix->text(), "2024-05-01T12:00:00.120Z");
  EXPECT_FALSE(Instant::from_unix(0, 2'000'000'000).has_value());
  // Nanoseconds past one billion only in the last second of a minute.
  EXPECT_FALSE(Instant::from_unix(0, 1'000'000'000).has_value());
  EXPECT_FALSE(Instant::from_unix(58, 1'000'000'000).has_value());
  EXPECT_TRUE(Instant::from_unix(59, 1'000'000'000).has_value());
  EXPECT_TRUE(Instant::from_unix(-1, 1'000'000'000).has_value());
  EXPECT_TRUE(Instant::from_unix(86399, 1'000'000'000).has_value());
}

TEST(Instant, CalendarExtremesRoundTrip) {
  for (const std::int64_t year : {Instant::kMinYear, Instant::kMaxYear}) {
    for (const auto [month, day] : {std::pair{1u, 1u}, std::pair{12u, 31u}}) {
      const Instant i = civil(year, month, day, 23, 59, 59, 1);
      const CivilTime back = i.civil();
      EXPECT_EQ(back.year, year);
      EXPECT_EQ(back.month, month);
      EXPECT_EQ(back.day, day);
      EXPECT_EQ(Instant::from_unix(i.unix_seconds(), i.nanos()), i);
    }
  }
}

}  // namespace
