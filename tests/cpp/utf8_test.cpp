// Repair of invalid UTF-8: each maximal invalid subpart becomes one U+FFFD.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/path_text.hpp"

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

TEST(PathText, TurnsBackslashesIntoSlashes) {
  EXPECT_EQ(vt::path_text("a\\b\xFF/c"), std::string("a/b") + kBad + "/c");
}

}  // namespace
