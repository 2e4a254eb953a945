#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

#include "core/path_text.hpp"
#include "output/json_text.hpp"

namespace vt {
namespace {

std::string escaped(std::string_view text) {
  std::string out;
  put_json_string(out, text);
  return out;
}

std::string pretty(const Json& value, std::size_t depth) {
  std::string out;
  put_json_value(out, value, true, depth);
  return out;
}

class Escaping : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(Escaping, OnlyQuoteBackslashAndControlCharacters) {
  const auto& [input, expected] = GetParam();
  EXPECT_EQ(escaped(input), "\"" + expected + "\"");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Escaping,
    ::testing::Values(
        std::tuple{std::string("plain"), std::string("plain")},
        std::tuple{std::string("\""), std::string("\\\"")},
        std::tuple{std::string("\\"), std::string("\\\\")},
        std::tuple{std::string("\b\t\n\f\r"), std::string("\\b\\t\\n\\f\\r")},
        std::tuple{std::string("\x01\x0b\x1f", 3), std::string("\\u0001\\u000b\\u001f")},
        std::tuple{std::string("a\0b", 3), std::string("a\\u0000b")},
        std::tuple{std::string("/\x7f"), std::string("/\x7f")},
        std::tuple{std::string("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
                   std::string("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")},
        // Invalid UTF-8 never reaches the output: each bad sequence is U+FFFD.
        std::tuple{std::string("a\xFF" "b\xC3"), std::string("a\xEF\xBF\xBD" "b\xEF\xBF\xBD")}));

// Plain text is skipped eight bytes at a time: every ASCII byte, at every
// position of a word and across a word's edge, is escaped as on its own.
TEST(Escaping, EveryAsciiByteAtEveryOffset) {
  const auto one = [](unsigned char c) -> std::string {
    if (c == '"' || c == '\\') return std::string("\\") + static_cast<char>(c);
    if (c >= 0x20) return std::string(1, static_cast<char>(c));
    return escaped(std::string(1, static_cast<char>(c))).substr(1, c == '\b' || c == '\t' || c == '\n' ||
                                                                      c == '\f' || c == '\r' ? 2 : 6);
  };
  for (unsigned c = 0; c < 0x80; ++c) {
    for (std::size_t at = 0; at < 20; ++at) {
      std::string input(20, 'x');
      input[at] = static_cast<char>(c);
      const std::string expected = std::string(at, 'x') + one(static_cast<unsigned char>(c)) +
                                   std::string(19 - at, 'x');
      ASSERT_EQ(escaped(input), "\"" + expected + "\"") << "byte " << c << " at " << at;
    }
  }
}

// Texts of every length around the vector widths, with a byte to escape, a
// multi-byte character or an invalid byte at any place (and two of them),
// against escaping byte by byte after repair.
TEST(Escaping, AnyLengthAndPlaceAgainstByteByByte) {
  const auto reference = [](std::string_view text) {
    std::string out = "\"";
    for (const char c : utf8_lossy(text)) {
      const std::string one = escaped(std::string(1, c));  // each ASCII byte on its own
      out += static_cast<unsigned char>(c) < 0x80 ? one.substr(1, one.size() - 2) : std::string(1, c);
    }
    return out + "\"";
  };
  const std::string specials[] = {"\"", "\n", std::string(1, '\0'), "\\", "\xC3\xA9", "\xF0\x9F\x98\x80",
                                  "\xFF", "\xE2\x82", "\x7F"};
  for (std::size_t length = 0; length <= 40; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      for (const std::string& first : specials) {
        for (const std::string& second : {std::string(), std::string("\t"), std::string("\xC3")}) {
          std::string text(length, 'a');
          text.insert(at, first);
          text += second;
          ASSERT_EQ(escaped(text), reference(text)) << ::testing::PrintToString(text);
        }
      }
    }
  }
}

// Several bytes to act on within one block of sixteen (and across its edge):
// a byte to escape, a multi-byte character or an invalid byte at any two
// places of a text, so that escapes after the first past-ASCII byte of a
// block, and a block holding both, are written as byte by byte.
TEST(Escaping, TwoPlacesInOneBlockAgainstByteByByte) {
  const auto reference = [](std::string_view text) {
    std::string out = "\"";
    for (const char c : utf8_lossy(text)) {
      const std::string one = escaped(std::string(1, c));
      out += static_cast<unsigned char>(c) < 0x80 ? one.substr(1, one.size() - 2) : std::string(1, c);
    }
    return out + "\"";
  };
  const std::string specials[] = {"\"", "\n", "\\", "\x1f", "\xC3\xA9", "\xE2\x82\xAC", "\xFF", "\xC3"};
  for (std::size_t length = 0; length <= 34; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      for (std::size_t second_at = at; second_at <= length; ++second_at) {
        for (const std::string& first : specials) {
          for (const std::string& second : specials) {
            std::string text(length, 'a');
            text.insert(second_at, second);
            text.insert(at, first);
            ASSERT_EQ(escaped(text), reference(text)) << ::testing::PrintToString(text);
          }
        }
      }
    }
  }
}

class Numbers : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(Numbers, ReserializedFromTheHeldValue) {
  const auto& [input, expected] = GetParam();
  EXPECT_EQ(value_text(Json::parse(input)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Numbers,
    ::testing::Values(std::tuple{"0", "0"}, std::tuple{"-5", "-5"},
                      std::tuple{"18446744073709551615", "18446744073709551615"},
                      std::tuple{"-9223372036854775808", "-9223372036854775808"},
                      std::tuple{"2.50", "2.5"}, std::tuple{"1e2", "100.0"},
                      std::tuple{"100.0", "100.0"}, std::tuple{"-0.0", "-0.0"},
                      std::tuple{"0.1", "0.1"}, std::tuple{"1e100", "1e+100"},
                      std::tuple{"1E-7", "1e-07"},
                      std::tuple{"18446744073709551616", "1.8446744073709552e+19"},
                      std::tuple{"1.7976931348623157e308", "1.7976931348623157e+308"},
                      std::tuple{"true", "true"}, std::tuple{"false", "false"},
                      std::tuple{"null", "null"}));

TEST(ValueText, CompactWithKeysInByteOrderAndPlainUtf8) {
  EXPECT_EQ(value_text(Json::parse(R"({"b":1,"a":{"d":[],"c":2.50}})")),
            R"({"a":{"c":2.5,"d":[]},"b":1})");
  // Byte order: upper case before lower case, shorter prefix first.
  EXPECT_EQ(value_text(Json::parse(R"({"b":0,"B":1,"ba":2,"a b":3})")),
            R"({"B":1,"a b":3,"b":0,"ba":2})");
  EXPECT_EQ(value_text(Json::parse(R"([ "\u00e9\/", {} , [ ] ])")), "[\"\xC3\xA9/\",{},[]]");
  EXPECT_EQ(value_text(Json::parse(R"({"k\"\n":"v\t"})")), R"({"k\"\n":"v\t"})");
}

TEST(ValueText, PrettyLayoutStartsOnTheCurrentLineAtItsDepth) {
  const Json value = Json::parse(R"({"b":[1,[],{"c":null}],"a":{}})");
  EXPECT_EQ(pretty(value, 0),
            "{\n  \"a\": {},\n  \"b\": [\n    1,\n    [],\n    {\n      \"c\": null\n    }\n  ]\n}");
  EXPECT_EQ(pretty(value, 3),
            "{\n        \"a\": {},\n        \"b\": [\n          1,\n          [],\n"
            "          {\n            \"c\": null\n          }\n        ]\n      }");
  EXPECT_EQ(pretty(Json::parse("[]"), 5), "[]");
  EXPECT_EQ(pretty(Json::parse("\"x\""), 5), "\"x\"");
}

TEST(ValueText, VeryDeepNestingIsWalkedWithoutRecursion) {
  // Far deeper than any reader accepts; a recursive walk would exhaust the stack.
  constexpr std::size_t kDepth = 200000;
  Json value = Json::array();
  for (std::size_t i = 1; i < kDepth; ++i) {
    Json outer = Json::array();
    outer.push_back(std::move(value));
    value = std::move(outer);
  }
  const std::string text = value_text(value);
  EXPECT_EQ(text, std::string(kDepth - 1, '[') + "[]" + std::string(kDepth - 1, ']'));

  Json object = Json::object();
  for (int i = 0; i < 128; ++i) object = Json{{"k", std::move(object)}};
  const std::string laid_out = pretty(object, 0);
  EXPECT_NE(laid_out.find("\n" + std::string(2 * 128, ' ') + "\"k\": {}\n"), std::string::npos);
}

TEST(TimestampText, ZuluAndOffsetForms) {
  const Instant t = *Instant::from_civil(CivilTime{2024, 5, 1, 9, 8, 7, 120'000'000});
  EXPECT_EQ(timestamp_text(t), "2024-05-01T09:08:07.120Z");
  EXPECT_EQ(offset_timestamp_text(t), "2024-05-01T09:08:07.120+00:00");
}

}  // namespace
}  // namespace vt
