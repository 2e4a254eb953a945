// A tool call's main argument and one-line message, as every agent's reader
// shows them: the first listed member that reads (not merely the first
// present), members that are not text passed over unless the agent reads
// them, line breaks shown as spaces, the cut, and a message without one.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "core/tool_call_text.hpp"
#include "jsonl/line_json.hpp"

namespace vt {
namespace {

constexpr std::array<std::string_view, 3> kKeys = {"command", "path", "pattern"};

// Words of a list joined by blanks (as an agent that gives commands as word lists reads them).
std::optional<std::string> words(JsonView value) {
  if (value.is_string()) return std::string(value.string());
  if (!value.is_array()) return std::nullopt;
  std::string joined;
  for (const JsonView word : value.children()) {
    if (!word.is_string()) return std::nullopt;
    joined += (joined.empty() ? "" : " ") + std::string(word.string());
  }
  return joined;
}

struct ArgumentCase {
  std::string name;
  std::string input;  // JSON, or "" for no input at all
  bool read_words;
  std::optional<std::string> argument;  // main_argument
  std::string message;                  // call_message("Tool", that argument)
};

class ToolCallText : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(ToolCallText, MainArgumentAndMessage) {
  const ArgumentCase& c = GetParam();
  LineJsonParser parser;
  std::optional<JsonView> input;
  if (!c.input.empty()) {
    auto parsed = parser.parse_view(c.input);
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    input = *parsed;
  }
  const JsonView* given = input ? &*input : nullptr;
  const auto argument = c.read_words ? main_argument(given, kKeys, words) : main_argument(given, kKeys);
  EXPECT_EQ(argument, c.argument);
  EXPECT_EQ(call_message("Tool", argument), c.message);
  if (input && !c.read_words) {
    // The argument as written, before it is put on one line and cut.
    const auto raw = first_argument(*input, kKeys);
    EXPECT_EQ(raw.has_value(), c.argument.has_value());
  }
}

const std::string kLong(250, 'a');

INSTANTIATE_TEST_SUITE_P(
    Inputs, ToolCallText,
    ::testing::Values(
        ArgumentCase{"no_input", "", false, std::nullopt, "Tool"},
        ArgumentCase{"not_an_object", R"(["ls"])", false, std::nullopt, "Tool"},
        ArgumentCase{"none_listed", R"({"file_text": "x"})", false, std::nullopt, "Tool"},
        ArgumentCase{"first_listed_wins_over_order_written", R"({"pattern": "p", "path": "/w", "command": "ls"})",
                     false, "ls", "Tool: ls"},
        ArgumentCase{"later_member_when_earlier_absent", R"({"pattern": "p", "path": "/w"})", false, "/w",
                     "Tool: /w"},
        ArgumentCase{"member_not_text_passed_over", R"({"command": ["git", "status"], "path": "/w"})", false, "/w",
                     "Tool: /w"},
        ArgumentCase{"member_read_by_the_agent", R"({"command": ["git", "status"], "path": "/w"})", true,
                     "git status", "Tool: git status"},
        ArgumentCase{"unreadable_even_so_passed_over", R"({"command": [1], "path": "/w"})", true, "/w",
                     "Tool: /w"},
        ArgumentCase{"empty_text_is_an_argument", R"({"command": ""})", false, "", "Tool: "},
        ArgumentCase{"line_breaks_and_tabs_as_spaces", R"({"command": "a\nb\r\nc\td"})", false, "a b  c d",
                     "Tool: a b  c d"},
        ArgumentCase{"cut_after_the_bound", R"({"path": ")" + kLong + R"("})", false,
                     std::string(200, 'a') + "\xE2\x80\xA6", "Tool: " + std::string(200, 'a') + "\xE2\x80\xA6"},
        ArgumentCase{"cut_by_characters_not_bytes", R"({"path": ")" + std::string(199, 'a') + "\xD0\xB6\xD0\xB6" +
                                                        R"("})",
                     false, std::string(199, 'a') + "\xD0\xB6\xE2\x80\xA6",
                     "Tool: " + std::string(199, 'a') + "\xD0\xB6\xE2\x80\xA6"}),
    [](const ::testing::TestParamInfo<ArgumentCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vt
