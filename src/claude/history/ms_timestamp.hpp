// The prompt history's `timestamp` value (milliseconds since the Unix epoch,
// or a date-time text) turned into an event time, its source and the
// warnings that go into the event. Never fails: a value that gives no time
// leaves the time absent and says why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.hpp"
#include "jsonl/fields.hpp"

namespace vt::claude {

// Inclusive range of plausible millisecond stamps: 2000-01-01 to 2100-01-01.
inline constexpr std::int64_t kEarliestPlausibleMs = 946684800000;
inline constexpr std::int64_t kLatestPlausibleMs = 4102444800000;

struct NormalizedTimestamp {
  std::optional<Instant> timestamp;
  TimestampSource source = TimestampSource::None;
  std::vector<std::string> warnings;  // in the order raised
};

// `value` is the record's `timestamp` member, null when the key is absent.
// `relative_path` and `line` only appear inside the warning texts.
NormalizedTimestamp normalize_ms_timestamp(const FieldRef& value, std::string_view relative_path,
                                           std::uint64_t line);

// A number of milliseconds as a whole signed count: truncated toward zero,
// saturated at the bounds of the 64-bit range.
std::int64_t saturating_ms(double ms);

}  // namespace vt::claude
