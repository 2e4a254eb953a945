// The RFC 3339 rule over arbitrary text: an accepted date-time renders to a
// text that the rule reads back as the same instant, and the letter case of
// the separator and zone does not matter.
#include <cctype>

#include "core/rfc3339.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto instant = vt::parse_rfc3339(text);
  FUZZ_CHECK(instant == vt::parse_rfc3339(text), "a second reading differs");
  if (!instant) return 0;
  const vt::CivilTime civil = instant->civil();
  FUZZ_CHECK(civil.month >= 1 && civil.month <= 12 && civil.day >= 1 && civil.day <= 31, text);
  if (civil.year >= 0 && civil.year <= 9999) {
    const std::string rendered = instant->text();
    FUZZ_CHECK(vt::parse_rfc3339(rendered) == instant, text + " -> " + rendered);
  }
  std::string lower = text;
  for (char& c : lower) {
    if (c == 'T' || c == 'Z') c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  FUZZ_CHECK(vt::parse_rfc3339(lower) == instant, text + " in lower case");
  return 0;
}
