// An event's raw timestamp, kept inside as a short text or held as a value,
// reads and renders as the JSON value the record wrote: compact and pretty
// JSON, a CSV cell, Timeline's column text; copies and moves keep it; a value
// read off a parsed line is the held value.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/raw_timestamp.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/line_json.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/json_text.hpp"
#include "output/sink.hpp"

namespace vt {
namespace {

std::string rendered(const RawTimestamp& raw, bool pretty) {
  MemorySink sink;
  {
    BufferedSink out(sink);
    JsonLayout j(out, pretty, 1);
    j.json(raw);
    EXPECT_TRUE(out.finish().has_value());
  }
  return sink.buffer();
}

struct Case {
  const char* what;
  std::string line;  // the value as a record writes it
  bool inside;       // kept inside (a short text)
};

std::vector<Case> cases() {
  return {
      {"ISO text", R"("2025-06-02T09:00:00.003Z")", true},
      {"empty text", R"("")", true},
      {"text of 30 bytes", "\"" + std::string(30, '7') + "\"", true},
      {"text of 31 bytes", "\"" + std::string(31, '7') + "\"", false},
      {"text with escapes", R"("2025-06-02\t\"09\"\\\u0001")", true},
      {"non-ASCII text", R"("2025年6月2日 9時")", true},
      {"integer", "1714554487", false},
      {"float", "1714554487.25", false},
      {"null", "null", false},
      {"object", R"({"seconds":1714554487,"nanos":12})", false},
      {"array", R"([2025,6,2])", false},
  };
}

// The case's value read off a parsed line: as held, and as a reader keeps it.
struct Read {
  Json held;
  RawTimestamp raw;
};

Read read(const Case& c) {
  LineJsonParser parser;
  auto view = parser.parse_view(c.line);
  EXPECT_TRUE(view.has_value()) << c.what;
  if (!view) return {};
  return {held_copy(*view), raw_timestamp(*view)};
}

TEST(RawTimestamp, ReadsAndRendersAsTheHeldValue) {
  for (const Case& c : cases()) {
    const auto [held, from_view] = read(c);
    const RawTimestamp from_value(held);
    for (const RawTimestamp* raw : {&from_view, &from_value}) {
      ASSERT_TRUE(raw->has_value()) << c.what;
      EXPECT_EQ(raw->held() == nullptr, c.inside) << c.what;
      EXPECT_EQ(raw->value(), held) << c.what;
      EXPECT_EQ(raw->string().has_value(), held.is_string()) << c.what;
      if (held.is_string()) EXPECT_EQ(*raw->string(), held.get<std::string>()) << c.what;
      std::string pretty;
      put_json_value(pretty, held, true, 1);
      EXPECT_EQ(rendered(*raw, false), value_text(held)) << c.what;
      EXPECT_EQ(rendered(*raw, true), pretty) << c.what;
    }
  }
}

TEST(RawTimestamp, CopiesAndMovesKeepTheValue) {
  for (const Case& c : cases()) {
    auto [held, original] = read(c);
    RawTimestamp copy = original;
    EXPECT_EQ(copy.value(), held) << c.what;
    RawTimestamp assigned = RawTimestamp::text("earlier value, long enough to be held on the heap");
    assigned = copy;
    EXPECT_EQ(assigned.value(), held) << c.what;
    const RawTimestamp& itself = assigned;
    assigned = itself;
    EXPECT_EQ(assigned.value(), held) << c.what;
    RawTimestamp moved = std::move(copy);
    EXPECT_EQ(moved.value(), held) << c.what;
    EXPECT_FALSE(copy.has_value()) << c.what;  // NOLINT(bugprone-use-after-move): moved from is empty
    original = std::nullopt;
    EXPECT_FALSE(original.has_value()) << c.what;
    EXPECT_EQ(rendered(original, false), "null") << c.what;
    EXPECT_EQ(moved.value(), held) << c.what;  // the copies own their values
  }
}

TEST(RawTimestamp, TextsOfEveryLengthAroundTheInsideLimit) {
  for (std::size_t size = RawTimestamp::kInline - 2; size <= RawTimestamp::kInline + 2; ++size) {
    const std::string text(size, 'x');
    const RawTimestamp raw = RawTimestamp::text(text);
    EXPECT_EQ(raw.held() == nullptr, size <= RawTimestamp::kInline) << size;
    ASSERT_TRUE(raw.string().has_value()) << size;
    EXPECT_EQ(*raw.string(), text) << size;
    EXPECT_EQ(rendered(raw, false), "\"" + text + "\"") << size;
  }
}

}  // namespace
}  // namespace vt
