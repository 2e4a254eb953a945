// One line of arbitrary bytes through the fast line parser and the reference
// parser: the same value, kind of number and sign of zero included, or the
// same description.
#include <cstring>

#include "fuzz_support.hpp"
#include "jsonl/json_parse.hpp"
#include "jsonl/line_json.hpp"

namespace {

bool same(const vt::Json& a, const vt::Json& b) {
  if (a.type() != b.type()) return false;
  if (a.is_number_float()) {
    const double x = a.get<double>(), y = b.get<double>();
    return std::memcmp(&x, &y, sizeof x) == 0;
  }
  if (!a.is_structured()) return a == b;
  if (a.size() != b.size()) return false;
  for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
    if ((a.is_object() && ia.key() != ib.key()) || !same(ia.value(), ib.value())) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  vt::LineJsonParser parser;
  const auto fast = parser.parse(line);
  const auto reference = vt::parse_json_text(line);
  const std::string text(line);
  FUZZ_CHECK(fast.has_value() == reference.has_value(), text);
  if (fast) {
    FUZZ_CHECK(same(*fast, *reference), text);
  } else {
    FUZZ_CHECK(fast.error() == reference.error(), text + ": " + fast.error());
  }
  // What handlers read: the laid-out line, held again, is the same value.
  const auto view = parser.parse_view(line);
  FUZZ_CHECK(view.has_value() == reference.has_value(), text);
  if (view) FUZZ_CHECK(same(view->held(), *reference), text);
  return 0;
}
