#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "writer_fixtures.hpp"

namespace vt {
namespace {

using testing::bare_event;
using testing::full_event;
using testing::json_of;
using testing::jsonl_of;
using testing::LimitedSink;
using testing::sample_report;

TEST(JsonlTimeline, NoEventsGivesNoBytesEvenWithDiagnostics) {
  EXPECT_EQ(jsonl_of(Report{}), "");
  Report report = sample_report();
  report.events.clear();
  EXPECT_EQ(jsonl_of(report), "");
}

TEST(JsonlTimeline, EachLineIsTheEventTextOfTheCompactDocument) {
  Report report = sample_report();
  report.events.push_back(full_event());
  report.events[2].message = "two\nlines\r\n";
  report.events[2].raw = Json::parse(R"({ "z" : [ 1 , { "y":2, "x":1 } ], "a" : "\u00e9" })");
  const std::string lines = jsonl_of(report);

  std::string joined;
  std::size_t count = 0;
  for (std::size_t start = 0; start < lines.size();) {
    const std::size_t end = lines.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "output must end with a line feed";
    if (count > 0) joined.push_back(',');
    joined.append(lines, start, end - start);
    ++count;
    start = end + 1;
  }
  EXPECT_EQ(count, report.events.size());
  EXPECT_EQ(lines.find('\r'), std::string::npos);
  const std::string doc = json_of(report, false);
  EXPECT_EQ(doc.substr(0, doc.find("],\"diagnostics\":")), "{\"events\":[" + joined);
  EXPECT_NE(lines.find(R"("message":"two\nlines\r\n")"), std::string::npos);
  EXPECT_NE(lines.find("\"raw\":{\"a\":\"\xC3\xA9\",\"z\":[1,{\"x\":1,\"y\":2}]}}\n"),
            std::string::npos);
}

TEST(JsonlTimeline, ManyEventsCrossTheBufferBoundaryIntact) {
  Report report;
  for (int i = 0; i < 500; ++i) {
    Event e = i % 2 ? full_event() : bare_event();
    e.sequence = static_cast<std::uint64_t>(i);
    e.message = std::string(static_cast<std::size_t>(i * 7 % 300), 'm');
    report.events.push_back(std::move(e));
  }
  const std::string lines = jsonl_of(report);
  ASSERT_GT(lines.size(), 3 * 8192u);
  std::size_t count = 0;
  for (std::size_t start = 0; start < lines.size(); ++count) {
    const std::size_t end = lines.find('\n', start);
    const Json parsed = Json::parse(lines.substr(start, end - start));
    EXPECT_EQ(parsed["sequence"], count);
    EXPECT_EQ(parsed["message"].get<std::string>().size(), count * 7 % 300);
    start = end + 1;
  }
  EXPECT_EQ(count, 500u);
}

// Events that share one large raw record each (the content blocks of one
// transcript line): a thread's slice passes its byte bound after a few
// hundred events and leaves the rest to the writer. Whatever the threads and
// wherever the sink fails, the bytes and the error are the serial ones.
Report shared_raw_events(std::size_t count, std::size_t per_record) {
  Report report;
  SharedValue<Json> raw;
  for (std::size_t i = 0; i < count; ++i) {
    if (i % per_record == 0) raw = Json{{"line", i}, {"text", std::string(12000 + i, 'r')}};
    Event e = i % 5 == 4 ? bare_event() : full_event();
    e.sequence = i;
    if (i % 5 != 4) e.raw = raw;
    report.events.push_back(std::move(e));
  }
  return report;
}

TEST(JsonlTimeline, SlicesPastTheirByteBoundGiveTheSerialBytesAndErrors) {
  const Report report = shared_raw_events(2700, 90);
  MemorySink serial_sink;
  ASSERT_TRUE(write_jsonl_timeline(report, serial_sink, 1).has_value());
  const std::string& serial = serial_sink.buffer();
  ASSERT_GT(serial.size(), 2u * 3 * (std::size_t{4} << 20));  // every slice passes the bound
  EXPECT_NE(serial.find("\"raw\":{\"line\":2610,\"text\":\"rrr"), std::string::npos);
  const std::vector<std::size_t> limits = {std::string::npos, 0, 8191, 4u << 20, (4u << 20) + 12345,
                                           serial.size() - 1};
  for (const unsigned threads : {2u, 3u, 7u}) {
    for (const std::size_t limit : limits) {
      LimitedSink one(limit), many(limit);
      const Status first = write_jsonl_timeline(report, one, 1);
      const Status second = write_jsonl_timeline(report, many, threads);
      ASSERT_EQ(first.has_value(), second.has_value()) << threads << " threads, limit " << limit;
      if (!first) EXPECT_EQ(first.error().text(), second.error().text()) << threads << ", " << limit;
      EXPECT_EQ(one.bytes, many.bytes) << threads << " threads, limit " << limit;
      EXPECT_EQ(many.bytes, serial.substr(0, many.bytes.size()));
    }
  }
}

}  // namespace
}  // namespace vt
