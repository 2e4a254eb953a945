#include <gtest/gtest.h>


#include <functional>
#include <string>
#include <tuple>

#include "writer_fixtures.hpp"

namespace vt {
namespace {

using testing::bare_event;
using testing::full_event;
using testing::LimitedSink;
using testing::sample_report;

using Render = std::function<Status(const Report&, ByteSink&)>;

const Render kJsonPretty = [](const Report& r, ByteSink& s) { return write_json_report(r, true, s); };
const Render kJsonl = [](const Report& r, ByteSink& s) { return write_jsonl_timeline(r, s); };
const Render kCsv = [](const Report& r, ByteSink& s) {
  return write_csv_timeline(r, CsvOptions{true, true}, s);
};

Report many_events(std::size_t count, std::size_t message_size) {
  Report report;
  for (std::size_t i = 0; i < count; ++i) {
    Event e = i % 2 ? full_event() : bare_event();
    e.sequence = i;
    e.message = std::string(message_size, 'x');
    report.events.push_back(std::move(e));
  }
  return report;
}

std::string rendered(const Render& render, const Report& report) {
  MemorySink sink;
  EXPECT_TRUE(render(report, sink).has_value());
  return sink.buffer();
}

TEST(BufferedOutput, SmallPiecesReachTheSinkInBufferSizedWrites) {
  const Report report = many_events(400, 40);
  for (const Render& render : {kJsonPretty, kJsonl, kCsv}) {
    LimitedSink sink(std::string::npos);
    ASSERT_TRUE(render(report, sink).has_value());
    EXPECT_EQ(sink.bytes, rendered(render, report));
    EXPECT_LE(sink.largest, 8192u);
    // Every spill but the last carries at least 8192 minus one small piece.
    EXPECT_LE(static_cast<std::size_t>(sink.writes), sink.bytes.size() / 4096 + 1);
  }
}

TEST(BufferedOutput, PiecesLargerThanTheBufferPassStraightThrough) {
  const Report report = many_events(3, 100000);
  for (const Render& render : {kJsonPretty, kJsonl, kCsv}) {
    LimitedSink sink(std::string::npos);
    ASSERT_TRUE(render(report, sink).has_value());
    EXPECT_EQ(sink.bytes, rendered(render, report));
    // In whole buffers, short of the buffer the piece started in.
    EXPECT_GE(sink.largest, 100000u - 2 * 8192);
    EXPECT_EQ(sink.largest % 8192, 0u);
  }
}

// A sink that fails part-way keeps an exact prefix of the rendering: nothing
// is lost before the failure and nothing is sent twice, also when the sink
// takes the bytes still held in the buffer after it failed once.
class FailingSink : public ::testing::TestWithParam<std::tuple<int, std::size_t, bool>> {};

TEST_P(FailingSink, KeepsAnExactPrefix) {
  const auto [which, limit, recover] = GetParam();
  const Render render = which == 0 ? kJsonPretty : which == 1 ? kJsonl : kCsv;
  const Report report = many_events(60, 700);
  const std::string full = rendered(render, report);
  ASSERT_GT(full.size(), limit);
  LimitedSink sink(limit, recover);
  const Status status = render(report, sink);
  ASSERT_FALSE(status.has_value());
  EXPECT_NE(status.error().text().find("No space left on device"), std::string::npos);
  ASSERT_LE(sink.bytes.size(), full.size());
  EXPECT_EQ(sink.bytes, full.substr(0, sink.bytes.size()));
  if (recover) {
    EXPECT_GT(sink.bytes.size(), limit);  // the held remainder was passed on once more
  } else {
    EXPECT_EQ(sink.bytes.size(), limit);
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, FailingSink,
                         ::testing::Combine(::testing::Values(0, 1, 2),
                                            ::testing::Values(0u, 1u, 5000u, 8191u, 8192u,
                                                              8193u, 30000u),
                                            ::testing::Bool()));

// /dev/full refuses every write, so each step's failure text can be seen.
std::unique_ptr<FileSink> dev_full() {
  auto sink = FileSink::create("/dev/full");
  return sink ? std::move(*sink) : nullptr;
}

struct FailureCase {
  const char* name;
  std::function<Status(ByteSink&)> render;
  ParseErrorKind kind;
  std::string text;
};

Report event_of_exact_size(std::size_t size) {
  Report report;
  report.events.push_back(bare_event());
  report.events[0].message = "";
  const std::size_t base = rendered(kJsonl, report).size() - 1;  // without the line feed
  report.events[0].message = std::string(size - base, 'm');
  return report;
}

TEST(FileFailures, EachStepReportsItsOwnText) {
  if (!dev_full()) GTEST_SKIP() << "/dev/full cannot be opened here";
  const std::string enospc = std::make_error_code(std::errc::no_space_on_device).message();
  const Report small = sample_report();
  const Report big = many_events(2, 20000);
  const Report exact = event_of_exact_size(8192);
  const FailureCase cases[] = {
      {"json", [&](ByteSink& s) { return write_json_report(small, false, s); },
       ParseErrorKind::JsonSerialize, "JSON serialization error: " + enospc},
      {"json big", [&](ByteSink& s) { return write_json_report(big, true, s); },
       ParseErrorKind::JsonSerialize, "JSON serialization error: " + enospc},
      {"jsonl flush", [&](ByteSink& s) { return write_jsonl_timeline(small, s); },
       ParseErrorKind::Message, "I/O flush error: " + enospc},
      {"jsonl event", [&](ByteSink& s) { return write_jsonl_timeline(big, s); },
       ParseErrorKind::Message, "JSON serialization error: " + enospc},
      {"jsonl line feed", [&](ByteSink& s) { return write_jsonl_timeline(exact, s); },
       ParseErrorKind::Message, "I/O write error: " + enospc},
      {"csv flush", [&](ByteSink& s) { return write_csv_timeline(small, CsvOptions{}, s); },
       ParseErrorKind::Message, "CSV flush error: " + enospc},
      {"csv record", [&](ByteSink& s) { return write_csv_timeline(big, CsvOptions{}, s); },
       ParseErrorKind::Message, "CSV record write error: " + enospc},
  };
  for (const FailureCase& c : cases) {
    auto sink = dev_full();
    const Status status = c.render(*sink);
    ASSERT_FALSE(status.has_value()) << c.name;
    EXPECT_EQ(status.error().kind(), c.kind) << c.name;
    EXPECT_EQ(status.error().text(), c.text) << c.name;
  }
}

}  // namespace
}  // namespace vt
