// The compact layout's inline paths (a member's key written in one piece, a
// word of this program's own written without a scan) give the bytes of the
// general path: at every length around the inline limit, at every position
// against the end of the write buffer, and for every wire name there is;
// counts written in place, and timestamps after the text of their second.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/enums.hpp"
#include "core/instant.hpp"
#include "core/optional_shared.hpp"
#include "core/shared_string.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/json_text.hpp"
#include "output/sink.hpp"

namespace vt {
namespace {

// What the layout gives for objects of one member each, `{"name":"value"}`,
// written `count` times in a row after `lead` bytes of padding, so that the
// members fall at every offset of the 8192-byte buffer.
std::string objects(std::size_t lead, std::size_t count, const std::string& name, bool pretty) {
  MemorySink sink;
  {
    BufferedSink out(sink);
    out.append(std::string(lead, ' '));
    JsonLayout j(out, pretty);
    for (std::size_t i = 0; i < count; ++i) {
      j.begin_object();
      j.key(name);
      j.word("value");
      j.key(name + "2");
      j.null();
      j.end_object();
    }
    EXPECT_TRUE(out.finish().has_value());
  }
  return sink.buffer();
}

TEST(JsonLayoutKeys, EveryLengthAtEveryBufferOffset) {
  for (const std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{30}, std::size_t{31},
                                   JsonLayout::kShortText - 1, JsonLayout::kShortText,
                                   JsonLayout::kShortText + 1, std::size_t{200}}) {
    const std::string name(length, 'k');
    const std::string one = "{\"" + name + "\":\"value\",\"" + name + "2\":null}";
    // Enough objects to cross the buffer's end at several offsets.
    const std::size_t count = 2 * BufferedSink::kCapacity / one.size() + 2;
    for (std::size_t lead = 0; lead < 64; lead += 7) {
      std::string expected(lead, ' ');
      for (std::size_t i = 0; i < count; ++i) expected += one;
      EXPECT_EQ(objects(lead, count, name, false), expected) << "name length " << length << ", lead " << lead;
    }
  }
}

TEST(JsonLayoutKeys, PrettyLayoutKeepsItsSpaceAndLines) {
  EXPECT_EQ(objects(0, 2, "k", true), "{\n  \"k\": \"value\",\n  \"k2\": null\n}{\n  \"k\": \"value\",\n  \"k2\": null\n}");
}

// Each wire name, written as a word, reads as the same text through the
// escaping writer: none needs escaping.
template <class Enum>
void expect_plain_words(const char* vocabulary, Enum last) {
  for (int v = 0; v <= static_cast<int>(last); ++v) {
    const std::string_view name = wire_name(static_cast<Enum>(v));
    MemorySink sink;
    {
      BufferedSink out(sink);
      JsonLayout j(out, false);
      j.word(name);
      ASSERT_TRUE(out.finish().has_value());
    }
    std::string escaped;
    put_json_string(escaped, name);
    EXPECT_FALSE(name.empty()) << vocabulary << " " << v;
    EXPECT_EQ(sink.buffer(), escaped) << vocabulary << " " << v;
    EXPECT_EQ(sink.buffer(), "\"" + std::string(name) + "\"") << vocabulary << " " << v;
  }
}

TEST(JsonLayoutWords, EveryWireNameNeedsNoEscaping) {
  expect_plain_words("provider", Provider::Aider);
  expect_plain_words("timestamp source", TimestampSource::None);
  expect_plain_words("event type", EventType::Unknown);
  expect_plain_words("artifact kind", ArtifactKind::LlmLog);
  expect_plain_words("reference status", ReferenceStatus::Ambiguous);
  expect_plain_words("content encoding", ContentEncoding::Base64);
  expect_plain_words("severity", Severity::Info);
  expect_plain_words("diagnostic code", DiagnosticCode::NothingToRead);
  expect_plain_words("prompt origin", PromptOrigin::Command);
}

TEST(JsonLayoutWords, LongAndEmptyTexts) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {std::string(JsonLayout::kShortText + 5, 'w'), "\"" + std::string(JsonLayout::kShortText + 5, 'w') + "\""},
      {"", "\"\""},
  };
  for (const auto& [text, expected] : cases) {
    MemorySink sink;
    {
      BufferedSink out(sink);
      JsonLayout j(out, false);
      j.word(text);
      ASSERT_TRUE(out.finish().has_value());
    }
    EXPECT_EQ(sink.buffer(), expected) << text.size();
  }
}

// Shared texts as events hold them: several events holding one copy, equal
// texts in copies of their own, texts to escape or repair, short ones; each
// written in turn, many times over, through more distinct copies than the
// cache has slots, reads as each escaped on its own.
TEST(JsonLayoutSharedTexts, RepeatedFromTheCacheAsEscapedAfresh) {
  std::vector<SharedString> held;
  for (int i = 0; i < 40; ++i) held.emplace_back("sessions/2025/06/02/rollout-" + std::to_string(i) + ".jsonl");
  held.emplace_back(std::string("a \"quoted\" path with a tab\tand a line\nbreak and more"));
  held.emplace_back(std::string("invalid UTF-8 \xFF\xC3 in a text long enough"));
  held.emplace_back(std::string("caf\xC3\xA9 au lait, long enough to be cached"));
  held.emplace_back("short");
  held.emplace_back("");
  held.emplace_back(std::string(5000, 'x'));
  // A second copy of equal text, and a copy of the first's holder.
  held.emplace_back(std::string("sessions/2025/06/02/rollout-0.jsonl"));
  const std::vector<SharedString> events_hold = held;  // every copy shared, as by several events

  std::string expected;
  MemorySink sink;
  {
    BufferedSink out(sink);
    JsonLayout j(out, false);
    for (int round = 0; round < 3; ++round) {
      for (std::size_t i = 0; i < held.size(); i += 1 + static_cast<std::size_t>(round)) {
        const OptionalShared optional(held[i]);
        j.string(i % 2 == 0 ? held[i] : *optional);
        put_json_string(expected, held[i]);
      }
    }
    j.string(OptionalShared());
    expected += "null";
    ASSERT_TRUE(out.finish().has_value());
  }
  EXPECT_EQ(sink.buffer(), expected);
}

// A text held once only is written straight; the cache keeps no copy of it.
TEST(JsonLayoutSharedTexts, UnsharedTextIsNotKept) {
  SharedString alone(std::string("a message held by one event only, long"));
  MemorySink sink;
  {
    BufferedSink out(sink);
    JsonLayout j(out, false);
    j.string(alone);
    EXPECT_FALSE(alone.is_shared());
    ASSERT_TRUE(out.finish().has_value());
  }
  EXPECT_EQ(sink.buffer(), "\"a message held by one event only, long\"");
}

// What the compact layout gives for one array of `values`, each written by
// `put`, after `lead` bytes of padding.
template <class Value, class Put>
std::string compact_array(std::size_t lead, const std::vector<Value>& values, Put put) {
  MemorySink sink;
  {
    BufferedSink out(sink);
    out.append(std::string(lead, ' '));
    JsonLayout j(out, false);
    j.begin_array();
    for (const Value& value : values) {
      j.element();
      put(j, value);
    }
    j.end_array();
    EXPECT_TRUE(out.finish().has_value());
  }
  return sink.buffer();
}

// Counts written straight into the buffer give their decimal text at every
// offset against the buffer's end, every digit count up to the largest.
TEST(JsonLayoutCounts, DecimalTextAtEveryBufferOffset) {
  const std::vector<std::optional<std::uint64_t>> values = {
      0, 9, 10, 99, 100, 12345, 4294967296, std::nullopt, std::numeric_limits<std::uint64_t>::max(), 1};
  std::string one = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    one += i > 0 ? "," : "";
    one += values[i] ? std::to_string(*values[i]) : "null";
  }
  one += "]";
  for (std::size_t lead = BufferedSink::kCapacity - 64; lead <= BufferedSink::kCapacity; lead += 3) {
    const std::string written =
        compact_array(lead, values, [](JsonLayout& j, const std::optional<std::uint64_t>& v) { j.uint(v); });
    EXPECT_EQ(written, std::string(lead, ' ') + one) << "lead " << lead;
  }
}

// Timestamps written one after another through one layout (which keeps the
// text of the last whole second) give each instant's own text: within one
// second, across seconds, days and years, around a leap second (held in the
// second before it), far years, every fraction width, and absent ones between.
std::optional<Instant> at(std::int64_t seconds, std::uint32_t nanos) {
  const auto instant = Instant::from_unix(seconds, nanos);
  EXPECT_TRUE(instant.has_value()) << seconds << " " << nanos;
  return instant;
}

TEST(JsonLayoutTimestamps, EachInstantItsOwnText) {
  const std::int64_t day_end = 1'435'708'799;  // 2015-06-30T23:59:59Z, a leap second follows
  const std::vector<std::optional<Instant>> instants = {
      at(1'748'854'800, 1'000'000),  // 2025-06-02T09:00:00.001Z
      at(1'748'854'800, 2'000'000),
      at(1'748'854'800, 0),
      at(1'748'854'800, 123'456),
      at(1'748'854'800, 123'456'789),
      std::nullopt,
      at(1'748'854'801, 0),
      at(1'748'854'800, 5),  // back to a second written before
      at(day_end, 500'000'000),
      at(day_end, 1'500'000'000),  // the leap second: 23:59:60.5
      at(day_end, 999'999'999),
      at(day_end, 1'000'000'000),  // 23:59:60 exactly
      at(day_end + 1, 0),
      at(0, 0),
      at(-1, 999'000'000),          // 1969-12-31T23:59:59.999Z
      at(253'402'300'800, 7'000),   // year 10000: "+10000"
      at(-62'167'219'201, 0),       // year -1
      at(-62'167'219'201, 10'000'000),
  };
  const std::string written =
      compact_array(0, instants, [](JsonLayout& j, const std::optional<Instant>& instant) { j.timestamp(instant); });
  std::string expected = "[";
  for (std::size_t i = 0; i < instants.size(); ++i) {
    if (i > 0) expected += ',';
    expected += instants[i] ? "\"" + instants[i]->text("Z") + "\"" : std::string("null");
  }
  expected += "]";
  EXPECT_EQ(written, expected);
  // The reference spelled out where the second's text is reused or not.
  EXPECT_NE(expected.find("\"2015-06-30T23:59:60.500Z\",\"2015-06-30T23:59:59.999999999Z\",\"2015-06-30T23:59:60Z\""),
            std::string::npos);
}

}  // namespace
}  // namespace vt
