// Date-times as agents write them: which texts read as which instant, and
// which are refused (every fixed place of the date and time, the fraction,
// the zone, texts cut short or running on).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/rfc3339.hpp"

namespace {

using vt::CivilTime;
using vt::Instant;

std::optional<Instant> at(std::int64_t y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s,
                          std::uint32_t ns = 0, std::int64_t offset_seconds = 0) {
  const auto local = Instant::from_civil(CivilTime{y, mo, d, h, mi, s, ns});
  if (!local || offset_seconds == 0) return local;
  return Instant::from_unix(local->unix_seconds() - offset_seconds, local->nanos());
}

struct Reading {
  const char* text;
  std::optional<Instant> expected;
};

class Rfc3339 : public ::testing::TestWithParam<Reading> {};

TEST_P(Rfc3339, ReadsAsExpected) {
  const Reading& r = GetParam();
  EXPECT_EQ(vt::parse_rfc3339(r.text), r.expected) << r.text;
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, Rfc3339,
    ::testing::Values(Reading{"2025-06-02T22:42:29.409Z", at(2025, 6, 2, 22, 42, 29, 409'000'000)},
                      Reading{"2025-06-02T22:42:29Z", at(2025, 6, 2, 22, 42, 29)},
                      Reading{"2025-06-02t22:42:29z", at(2025, 6, 2, 22, 42, 29)},
                      Reading{"2025-06-02 22:42:29Z", at(2025, 6, 2, 22, 42, 29)},
                      Reading{"1969-12-31T23:59:59.5Z", at(1969, 12, 31, 23, 59, 59, 500'000'000)},
                      Reading{"9999-12-31T23:59:59.999999999Z", at(9999, 12, 31, 23, 59, 59, 999'999'999)},
                      // Fractions past nanoseconds are truncated.
                      Reading{"2025-06-02T22:42:29.123456789987Z", at(2025, 6, 2, 22, 42, 29, 123'456'789)},
                      Reading{"2016-12-31T23:59:60Z", at(2016, 12, 31, 23, 59, 60)},
                      Reading{"2025-06-02T22:42:29+02:00", at(2025, 6, 2, 22, 42, 29, 0, 7200)},
                      Reading{"2025-06-02T22:42:29.25-05:30", at(2025, 6, 2, 22, 42, 29, 250'000'000, -19800)}));

class Rfc3339Refused : public ::testing::TestWithParam<const char*> {};

TEST_P(Rfc3339Refused, ReadsAsNothing) {
  EXPECT_EQ(vt::parse_rfc3339(GetParam()), std::nullopt) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rfc3339Refused,
    ::testing::Values(
        // Each fixed place of the date and time.
        "2025/06-02T22:42:29Z", "2025-06/02T22:42:29Z", "2025-06-02X22:42:29Z", "2025-06-02T22.42:29Z",
        "2025-06-02T22:42.29Z",
        // A non-digit in each field, both places of a pair.
        "x025-06-02T22:42:29Z", "20x5-06-02T22:42:29Z", "202x-06-02T22:42:29Z", "2025-0x-02T22:42:29Z",
        "2025-06-x2T22:42:29Z", "2025-06-02Tx2:42:29Z", "2025-06-02T22:4x:29Z", "2025-06-02T22:42:2xZ",
        "2025-06-02T22:42:/9Z", "2025-06-02T22:42::9Z", "2025-06-02T22:42:2\xC3Z",
        // Fields of other widths.
        "25-06-02T22:42:29Z", "2025-6-02T22:42:29Z", "12025-06-02T22:42:29Z", "2025-06-02T22:42:9Z",
        // Out of range.
        "2025-13-02T22:42:29Z", "2025-02-30T22:42:29Z", "2025-06-02T24:00:00Z", "2025-06-02T22:60:00Z",
        "2025-06-02T22:42:61Z", "2025-00-02T22:42:29Z",
        // Fraction, zone and what follows.
        "2025-06-02T22:42:29.Z", "2025-06-02T22:42:29", "2025-06-02T22:42:29.5", "2025-06-02T22:42:29ZZ",
        "2025-06-02T22:42:29+0200", "2025-06-02T22:42:29+24:00", "2025-06-02T22:42:29+02:60",
        "2025-06-02T22:42:29 Z", "", "2025-06-02"));

// A valid text cut at every length reads as nothing until it is whole.
TEST(Rfc3339Cut, EveryPrefixIsRefused) {
  const std::string whole = "2025-06-02T22:42:29.409+02:00";
  for (std::size_t length = 0; length < whole.size(); ++length) {
    const std::string cut = whole.substr(0, length);
    // A zone is required: no prefix reads.
    EXPECT_EQ(vt::parse_rfc3339(cut), std::nullopt) << cut;
  }
  EXPECT_EQ(vt::parse_rfc3339(whole), at(2025, 6, 2, 22, 42, 29, 409'000'000, 7200));
}

}  // namespace
