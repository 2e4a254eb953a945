// The millisecond timestamp rule over arbitrary JSON values: a number becomes
// exactly the instant of its whole milliseconds (floor division), warnings
// come in their fixed order, a string that reads as a date-time renders back
// to a text that reads as the same instant, and other values give nothing.
#include <cmath>

#include "claude/history/ms_timestamp.hpp"
#include "fuzz_support.hpp"

namespace {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The rule applied to a held value, read as the record loop reads it.
vt::claude::NormalizedTimestamp normalize(const vt::Json& value) {
  vt::JsonTape tape;
  tape.assign(value);
  return vt::claude::normalize_ms_timestamp(vt::FieldRef(vt::JsonView(tape, 0)), "h.jsonl", 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vt::Json value = vt::Json::parse(text, nullptr, false);
  if (value.is_discarded()) {
    if (vt::find_utf8_error(text)) return 0;
    value = text;
  }
  const auto result = normalize(value);
  const auto again = normalize(value);
  FUZZ_CHECK(result.timestamp == again.timestamp && result.warnings == again.warnings, text);
  FUZZ_CHECK(result.warnings.size() <= 3, text);
  for (const std::string& warning : result.warnings) FUZZ_CHECK(warning.ends_with(" at h.jsonl line 7") ||
                                                                warning.ends_with(" at h.jsonl line 7, rounding down"), warning);
  if (value.is_number()) {
    FUZZ_CHECK(result.source == vt::TimestampSource::Embedded, text);
    const double number = value.get<double>();
    const std::int64_t ms = vt::claude::saturating_ms(number);
    const bool fractional = std::isfinite(number) && number != std::trunc(number);
    FUZZ_CHECK(fractional == (!result.warnings.empty() && result.warnings[0].starts_with("Timestamp has fractional")), text);
    const bool outside = ms < vt::claude::kEarliestPlausibleMs || ms > vt::claude::kLatestPlausibleMs;
    bool warned_outside = false;
    for (const std::string& w : result.warnings) warned_outside |= w.starts_with("Timestamp " + std::to_string(ms) + " ms is outside");
    FUZZ_CHECK(outside == warned_outside, text);
    if (result.timestamp) {
      FUZZ_CHECK(result.timestamp->unix_seconds() == floor_div(ms, 1000), text);
      FUZZ_CHECK(result.timestamp->nanos() == static_cast<std::uint32_t>(ms - floor_div(ms, 1000) * 1000) * 1000000u, text);
    }
  } else if (value.is_string()) {
    FUZZ_CHECK(!result.warnings.empty() && result.warnings[0].starts_with("Timestamp is a string"), text);
    FUZZ_CHECK(result.timestamp.has_value() == (result.source == vt::TimestampSource::Embedded), text);
    if (result.timestamp && result.timestamp->civil().year >= 0 && result.timestamp->civil().year <= 9999) {
      const vt::Json rendered = result.timestamp->text();
      FUZZ_CHECK(normalize(rendered).timestamp == result.timestamp,
                 text + " -> " + rendered.get<std::string>());
    }
  } else {
    FUZZ_CHECK(!result.timestamp && result.source == vt::TimestampSource::None, text);
    FUZZ_CHECK(result.warnings.size() == 1 && result.warnings[0].starts_with("Timestamp is not a number or string"), text);
  }
  return 0;
}
