// A record's line key gives the text the readers made with a heap string:
// the prefix then the line's decimal digits, at every digit count, up to the
// largest line number, and a prefix past the limit cut to it.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/line_key.hpp"

namespace vt {
namespace {

TEST(LineKey, PrefixThenDecimalLine) {
  struct Case {
    std::string prefix;
    std::uint64_t line;
    std::string expected;
  };
  const std::string longest(LineKey::kMaxPrefix, 'p');
  const std::vector<Case> cases = {
      {"codex_session:", 1, "codex_session:1"},
      {"codex_session:", 0, "codex_session:0"},
      {"codex_history:", 9, "codex_history:9"},
      {"codex_history:", 10, "codex_history:10"},
      {"codex_session:", 123456789, "codex_session:123456789"},
      {"codex_session:", std::numeric_limits<std::uint64_t>::max(), "codex_session:18446744073709551615"},
      {"", 42, "42"},
      {longest, std::numeric_limits<std::uint64_t>::max(), longest + "18446744073709551615"},
      {longest + "xyz", 7, longest + "7"},
  };
  for (const Case& c : cases) {
    const LineKey key(c.prefix, c.line);
    EXPECT_EQ(key.view(), c.expected) << c.prefix << " " << c.line;
    if (c.prefix.size() <= LineKey::kMaxPrefix) {
      EXPECT_EQ(std::string(key.view()), c.prefix + std::to_string(c.line));
    }
  }
}

}  // namespace
}  // namespace vt
