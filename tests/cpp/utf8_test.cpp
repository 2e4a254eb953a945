// Repair of invalid UTF-8: each maximal invalid subpart becomes one U+FFFD.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "core/path_text.hpp"
#include "core/utf8.hpp"

namespace {

constexpr const char* kBad = "\xEF\xBF\xBD";

class Utf8Lossy : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(Utf8Lossy, ReplacesEachMaximalSubpart) {
  const auto& [input, expected] = GetParam();
  EXPECT_EQ(vt::utf8_lossy(input), expected);
  EXPECT_EQ(vt::is_valid_utf8(input), input == expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Lossy,
    ::testing::Values(
        std::tuple{std::string("plain caf\xC3\xA9"), std::string("plain caf\xC3\xA9")},
        std::tuple{std::string("\xE2\x82"), std::string(kBad)},            // cut short at the end
        std::tuple{std::string("\xE2\x82" "A"), std::string(kBad) + "A"},  // cut short mid-text
        std::tuple{std::string("\xF0\x80"), std::string(kBad) + kBad},     // overlong lead, stray byte
        std::tuple{std::string("\xED\xA0\x80"), std::string(kBad) + kBad + kBad},  // surrogate
        std::tuple{std::string("a\xFF\xFE" "b"), std::string("a") + kBad + kBad + "b"},
        std::tuple{std::string("\xF4\x90\x80\x80"), std::string(kBad) + kBad + kBad + kBad}));

// The vector validator and the byte-by-byte decoder agree on every text:
// random strings made of the bytes where UTF-8 rules turn (leads, bounds of
// the second byte, continuations, ASCII), at every length around a vector's.
TEST(Utf8Validators, AgreeOnEdgeBytes) {
  const unsigned char pool[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
  std::mt19937 random(28);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof pool - 1), length(0, 80);
  int valid = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string text(length(random) % 8 == 0 ? 70 : 0, 'a');  // some valid ASCII before the mix
    const std::size_t n = length(random) % 6;
    for (std::size_t k = 0; k < n; ++k) text.push_back(static_cast<char>(pool[pick(random)]));
    text.append(length(random) % 40, 'b');
    const bool scanned = !vt::scan_utf8_error(text);
    ASSERT_EQ(vt::valid_utf8(text), scanned) << ::testing::PrintToString(text);
    EXPECT_EQ(vt::find_utf8_error(text).has_value(), !scanned);
    valid += scanned ? 1 : 0;
  }
  EXPECT_GT(valid, 20000);  // both kinds of text were tried
  EXPECT_LT(valid, 180000);
}

TEST(PathText, TurnsBackslashesIntoSlashes) {
  EXPECT_EQ(vt::path_text("a\\b\xFF/c"), std::string("a/b") + kBad + "/c");
}

}  // namespace
