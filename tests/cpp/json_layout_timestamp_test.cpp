// Timestamps written one after another through one layout (which keeps the
// text of the last whole second) give each instant's own text: within one
// second, across seconds, days and years, around a leap second (held in the
// second before it), far years, every fraction width, and absent ones between.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/instant.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/sink.hpp"

namespace vt {
namespace {

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
  MemorySink sink;
  {
    BufferedSink out(sink);
    JsonLayout j(out, false);
    j.begin_array();
    for (const auto& instant : instants) {
      j.element();
      j.timestamp(instant);
    }
    j.end_array();
    ASSERT_TRUE(out.finish().has_value());
  }
  std::string expected = "[";
  for (std::size_t i = 0; i < instants.size(); ++i) {
    if (i > 0) expected += ',';
    expected += instants[i] ? "\"" + instants[i]->text("Z") + "\"" : std::string("null");
  }
  expected += "]";
  EXPECT_EQ(sink.buffer(), expected);
  // A few texts spelled out, so that the reference itself is held too.
  EXPECT_NE(expected.find("\"2025-06-02T09:00:00.001Z\",\"2025-06-02T09:00:00.002Z\",\"2025-06-02T09:00:00Z\""),
            std::string::npos);
  EXPECT_NE(expected.find("\"2015-06-30T23:59:60.500Z\",\"2015-06-30T23:59:59.999999999Z\",\"2015-06-30T23:59:60Z\""),
            std::string::npos);
  EXPECT_NE(expected.find("\"1969-12-31T23:59:59.999Z\""), std::string::npos);
}

}  // namespace
}  // namespace vt
