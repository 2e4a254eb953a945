#include "claude/history/ms_timestamp.hpp"

#include <cmath>
#include <limits>

#include "claude/history/relaxed_datetime.hpp"

namespace vt::claude {

namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::uint32_t kNanosPerMs = 1'000'000;

std::string where(std::string_view relative_path, std::uint64_t line) {
  std::string text = " at ";
  text.append(relative_path).append(" line ").append(std::to_string(line));
  return text;
}

// The instant `ms` milliseconds after the epoch, when the calendar holds it.
// Floor division, so that earlier instants keep a positive remainder; written
// so that no step can overflow, even at the ends of the 64-bit range.
std::optional<Instant> instant_of_ms(std::int64_t ms) {
  std::int64_t seconds = ms / kMsPerSecond;
  std::int64_t millis = ms % kMsPerSecond;
  if (millis < 0) {
    millis += kMsPerSecond;
    seconds -= 1;
  }
  return Instant::from_unix(seconds, static_cast<std::uint32_t>(millis) * kNanosPerMs);
}

// Every kind of JSON number as a double, so that one rule covers them all
// (integers beyond 2^53 lose precision on the way).
double as_double(JsonView number) {
  if (number.kind() == JsonKind::Unsigned) return static_cast<double>(number.unsigned_value());
  if (number.kind() == JsonKind::Integer) return static_cast<double>(number.integer());
  return number.float_value();
}

void from_number(double number, const std::string& at, NormalizedTimestamp& out) {
  out.source = TimestampSource::Embedded;
  if (number != std::trunc(number)) {
    out.warnings.push_back("Timestamp has fractional milliseconds" + at + ", rounding down");
  }
  const std::int64_t ms = saturating_ms(number);
  if (ms < kEarliestPlausibleMs || ms > kLatestPlausibleMs) {
    out.warnings.push_back("Timestamp " + std::to_string(ms) +
                           " ms is outside reasonable range (2000-2100)" + at);
  }
  out.timestamp = instant_of_ms(ms);
  if (!out.timestamp) {
    out.warnings.push_back("Timestamp " + std::to_string(ms) + " ms could not be converted to DateTime" + at);
  }
}

}  // namespace

std::int64_t saturating_ms(double ms) {
  // 2^63 is exact as a double; every double below it (and at or above -2^63)
  // truncates into range.
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (std::isnan(ms)) return 0;
  if (ms >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  if (ms < -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(ms);
}

NormalizedTimestamp normalize_ms_timestamp(const FieldRef& value, std::string_view relative_path,
                                           std::uint64_t line) {
  NormalizedTimestamp out;
  if (value == nullptr) return out;
  const std::string at = where(relative_path, line);
  if (value->is_number()) {
    from_number(as_double(*value), at, out);
  } else if (value->is_string()) {
    out.warnings.push_back("Timestamp is a string (not numeric ms)" + at);
    out.timestamp = parse_relaxed_datetime(value->string());
    if (out.timestamp) out.source = TimestampSource::Embedded;
  } else {
    out.warnings.push_back("Timestamp is not a number or string" + at);
  }
  return out;
}

}  // namespace vt::claude
