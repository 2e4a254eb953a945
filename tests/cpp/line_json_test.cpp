// The fast line parser against the reference parser: on every line, hand-made
// or generated, both give the same value (type for type, bit for bit) or the
// same description, and ordinary lines do take the fast path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "jsonl/json_parse.hpp"
#include "jsonl/line_json.hpp"

namespace {

using vt::Json;

// Equal including the kind of number and the sign of a zero.
bool same(const Json& a, const Json& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Json::value_t::number_float: {
      const double x = a.get<double>(), y = b.get<double>();
      return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case Json::value_t::array: {
      if (a.size() != b.size()) return false;
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same(a[i], b[i])) return false;
      }
      return true;
    }
    case Json::value_t::object: {
      if (a.size() != b.size()) return false;
      for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
        if (ia.key() != ib.key() || !same(ia.value(), ib.value())) return false;
      }
      return true;
    }
    default:
      return a == b;
  }
}

// Whatever the line, the fast parser agrees with the reference; returns
// whether the fast path took the line.
bool agrees(vt::LineJsonParser& parser, const std::string& line) {
  const auto reference = vt::parse_json_text(line);
  const auto fast = parser.parse_fast(line);
  if (fast) {
    EXPECT_TRUE(reference.has_value()) << line;
    if (reference) EXPECT_TRUE(same(*fast, *reference)) << line;
  }
  const auto answer = parser.parse(line);
  EXPECT_EQ(answer.has_value(), reference.has_value()) << line;
  if (answer && reference) EXPECT_TRUE(same(*answer, *reference)) << line;
  if (!answer && !reference) EXPECT_EQ(answer.error(), reference.error()) << line;
  // What handlers read: the laid-out line, held again, is the same value.
  const auto view = parser.parse_view(line);
  EXPECT_EQ(view.has_value(), reference.has_value()) << line;
  if (view && reference) EXPECT_TRUE(same(view->held(), *reference)) << line;
  // The same line read where it lies, followed by whatever the reader's
  // buffer holds next (here bytes that would continue or close a value).
  std::string buffer = line + "\n\"}],1" + std::string(1, '\0');
  buffer.resize(line.size() + 64, '"');
  const auto in_place = parser.parse_view(std::string_view(buffer).substr(0, line.size()), true);
  EXPECT_EQ(in_place.has_value(), reference.has_value()) << line;
  if (in_place && reference) EXPECT_TRUE(same(in_place->held(), *reference)) << line;
  if (!in_place && !reference) EXPECT_EQ(in_place.error(), reference.error()) << line;
  return fast.has_value();
}

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

std::string with_nul(std::string text, std::size_t at) {
  text.insert(at, 1, '\0');
  return text;
}

struct Case {
  std::string line;
  bool fast;  // whether the fast path must take it
  friend void PrintTo(const Case& c, std::ostream* out) { *out << ::testing::PrintToString(c.line); }
};

class LineJsonCases : public ::testing::TestWithParam<Case> {};

TEST_P(LineJsonCases, AgreeWithTheReference) {
  vt::LineJsonParser parser;
  EXPECT_EQ(agrees(parser, GetParam().line), GetParam().fast) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineJsonCases,
    ::testing::Values(
        Case{R"({"type":"x","payload":{"a":[1,2.5,-3,true,null,"s"]}})", true},
        Case{R"({"a":1,"a":{"b":2},"a":"last"})", true},
        Case{R"({"a":{"deep":[1]},"a":null})", true},
        Case{R"([0, 1.0, -0.0, 1e2, 1E-2, 2.2250738585072014e-308, 5e-324, 1e-400])", true},
        Case{"[9223372036854775807, -9223372036854775808, 18446744073709551615]", true},
        Case{"[9223372036854775808, 0.1, 123456789.123456789, 1.7976931348623157e308]", true},
        Case{R"({"d":"2025-01-05T00:00:00Z","n":"-0"})", true},
        Case{"-0", false}, Case{"[1, -0 ]", false}, Case{"{\"a\":-0}", false},
        Case{"[-0,0]", false}, Case{"[0,-0]", false}, Case{"[0, -0\t]", false},
        Case{"{\"a\":0,\"b\":{\"c\":[-0]}}", false},
        // -0 inside strings, or with a fraction or exponent, beside a zero integer.
        Case{R"({"a":"x -0 y","b":0,"c":"-0"})", true}, Case{"[0,-0.0,-0e1,\"-0\"]", true},
        Case{R"({"k-0":0})", true}, Case{"[0,-01]", false},
        Case{"18446744073709551616", false}, Case{"-9223372036854775809", false},
        Case{"123456789012345678901234567890", false}, Case{"1e400", false},
        Case{"-1e400", false},
        Case{"\xEF\xBB\xBF{\"bom\":1}", false}, Case{"\xEF\xBB\xBF", false},
        Case{R"("\ud83d\ude00 \u00e9 \u0000 \n\t\"\\\/")", true},
        Case{R"("\ud800")", false}, Case{R"("\udc00x")", false}, Case{R"("\ud800\u0041")", false},
        Case{std::string("\"a\x01\""), false}, Case{"\"caf\xC3\xA9 \xF0\x9F\x98\x80\"", true},
        Case{"\"\xFF\"", false}, Case{"\"\xED\xA0\x80\"", false}, Case{"\"\xC0\xAF\"", false},
        Case{nested(128), true}, Case{nested(129), false}, Case{nested(2000), false},
        Case{"{\"a\":" + nested(127) + "}", true}, Case{"{\"a\":" + nested(128) + "}", false},
        Case{with_nul(R"({"a":1})", 7), false}, Case{with_nul(R"({"a":1})", 3), false},
        Case{with_nul(R"({"a":1})", 0), false}, Case{std::string(1, '\0'), false},
        Case{R"({"a":1} x)", false}, Case{R"({"a":1}{})", false}, Case{"[1,]", false},
        Case{"{\"a\" 1}", false}, Case{"tru", false}, Case{"nul", false}, Case{"01", false},
        Case{"1.", false}, Case{".5", false}, Case{"+1", false}, Case{"1e", false},
        Case{"NaN", false}, Case{"[Infinity]", false}, Case{"{'a':1}", false},
        Case{"{\"a\":1,}", false}, Case{"\"\\x41\"", false}, Case{"[1 2]", false},
        Case{"\t {\"ws\": [ ] , \"o\" : { } }\r", true}, Case{"\f{}", false},
        Case{"{} // c", false}, Case{"[\"" + std::string(100, 'y'), false},
        Case{"\"" + std::string(17u << 20, 'a') + "\"", false}, Case{"5", true}, Case{"\"s\"", true}, Case{"null", true}, Case{"false", true}));

// A random value, written as its text: numbers of every kind, escapes,
// repeated keys and nesting near the bound.
class Writer {
 public:
  explicit Writer(std::uint64_t seed) : rng_(seed) {}

  std::string value(std::size_t depth) {
    switch (pick(depth > 6 ? 6 : 8)) {
      case 0: return "null";
      case 1: return pick(2) ? "true" : "false";
      case 2: return integer();
      case 3: return floating();
      case 4: case 5: return string();
      case 6: {
        std::string out = "[";
        for (std::size_t i = 0, n = pick(5); i < n; ++i) out += (i ? "," : "") + value(depth + 1);
        return out + "]";
      }
      default: {
        std::string out = "{";
        for (std::size_t i = 0, n = pick(5); i < n; ++i) {
          out += (i ? "," : "") + (pick(3) ? string() : std::string("\"k\"")) + ":" + value(depth + 1);
        }
        return out + "}";
      }
    }
  }

  // The text with one byte changed, inserted or removed.
  std::string damage(std::string text) {
    static constexpr char kBytes[] = "{}[]\":,\\-+.eE0123456789 tfnu\x01\x80\xC3\xFF";
    const std::size_t at = text.empty() ? 0 : pick(text.size());
    const char byte = text.empty() ? '\0' : kBytes[pick(sizeof kBytes)];
    switch (pick(3)) {
      case 0: if (!text.empty()) text[at] = byte; break;
      case 1: text.insert(at, 1, byte); break;
      default: if (!text.empty()) text.erase(at, 1); break;
    }
    return text;
  }

 private:
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

  std::string integer() {
    static const char* kEdges[] = {"0", "-0", "9223372036854775807", "9223372036854775808",
                                   "-9223372036854775808", "-9223372036854775809",
                                   "18446744073709551615", "18446744073709551616",
                                   "99999999999999999999999"};
    if (pick(4) == 0) return kEdges[pick(std::size(kEdges))];
    const std::int64_t v = static_cast<std::int64_t>(rng_()) >> pick(64);
    return std::to_string(v);
  }

  std::string floating() {
    char text[64];
    switch (pick(3)) {
      case 0: {  // any finite bit pattern, shortest round trip and longer
        double d;
        do {
          const std::uint64_t bits = rng_();
          std::memcpy(&d, &bits, sizeof d);
        } while (!std::isfinite(d));
        std::snprintf(text, sizeof text, pick(2) ? "%.17g" : "%.25e", d);
        break;
      }
      case 1:
        std::snprintf(text, sizeof text, "%lld.%llue%d", static_cast<long long>(rng_() % 2000) - 1000,
                      static_cast<unsigned long long>(rng_() % 100000),
                      static_cast<int>(pick(700)) - 350);
        break;
      default:
        std::snprintf(text, sizeof text, "%.*f", static_cast<int>(pick(20)),
                      std::uniform_real_distribution<double>(-1e6, 1e6)(rng_));
    }
    return text;
  }

  std::string string() {
    static const char* kPieces[] = {"a", "key", "\\n", "\\\"", "\\\\", "\\u00e9", "\\u0000",
                                    "\\ud83d\\ude00", "\\ud800", "\\udfff", "caf\xC3\xA9",
                                    "\xE2\x82\xAC", "-0", " ", "\\/", "\\b\\f\\r\\t"};
    std::string out = "\"";
    for (std::size_t i = 0, n = pick(6); i < n; ++i) out += kPieces[pick(std::size(kPieces))];
    return out + "\"";
  }

  std::mt19937_64 rng_;
};

TEST(LineJson, GeneratedAndDamagedLinesAgree) {
  vt::LineJsonParser parser;
  Writer writer(20261207);
  std::size_t fast = 0;
  constexpr std::size_t kLines = 20000;
  for (std::size_t i = 0; i < kLines; ++i) {
    const std::string line = writer.value(0);
    fast += agrees(parser, line);
    agrees(parser, writer.damage(line));
  }
  // Most generated lines are ordinary and must not all fall back.
  EXPECT_GT(fast, kLines / 2);
}

// A view's values in written order (repeated keys included), as text: u/i/f
// for numbers by kind, t/f/n for literals, "..." for strings.
std::string render(vt::JsonView value) {
  switch (value.kind()) {
    case vt::JsonKind::Null: return "n";
    case vt::JsonKind::Boolean: return value.boolean() ? "t" : "f";
    case vt::JsonKind::Integer: return "i" + std::to_string(value.integer());
    case vt::JsonKind::Unsigned: return "u" + std::to_string(value.unsigned_value());
    case vt::JsonKind::Float: return "f" + std::to_string(value.float_value());
    case vt::JsonKind::String: return "\"" + std::string(value.string()) + "\"";
    case vt::JsonKind::Array:
    case vt::JsonKind::Object: {
      const bool object = value.is_object();
      std::string out = object ? "{" : "[";
      for (vt::JsonView child : value.children()) {
        if (out.size() > 1) out += " ";
        if (object) out += std::string(child.key()) + ":";
        out += render(child);
      }
      return out + (object ? "}" : "]");
    }
  }
  return "?";
}

struct Layout {
  std::string line;
  std::string written;  // render() of the whole value
  std::string key;      // looked up in the root object
  std::string found;    // render() of what `find` gives, "" when absent
  friend void PrintTo(const Layout& c, std::ostream* out) { *out << ::testing::PrintToString(c.line); }
};

class LineJsonLayouts : public ::testing::TestWithParam<Layout> {};

// The fast path lays a line out in written order, with each container's end
// where its last value ends: members after nested containers keep their
// keys, and `find` gives the last of repeated members.
TEST_P(LineJsonLayouts, ReadInWrittenOrder) {
  const Layout& c = GetParam();
  vt::LineJsonParser parser;
  ASSERT_TRUE(parser.parse_fast(c.line).has_value()) << c.line;
  const auto view = parser.parse_view(c.line);
  ASSERT_TRUE(view.has_value()) << c.line;
  EXPECT_EQ(render(*view), c.written);
  vt::JsonView found = *view;
  const bool present = view->find(c.key, found);
  EXPECT_EQ(present ? render(found) : std::string(), c.found) << c.key;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineJsonLayouts,
    ::testing::Values(
        Layout{R"({"a":1,"a":{"b":[true,"x"]},"a":"last"})", R"({a:u1 a:{b:[t "x"]} a:"last"})", "a", R"("last")"},
        Layout{R"({"a":[[[]],{}],"b":{"c":{"d":null}},"e":-2})", "{a:[[[]] {}] b:{c:{d:n}} e:i-2}", "e", "i-2"},
        Layout{R"({"a\"b":1,"":2,"a":{"a":3}})", R"({a"b:u1 :u2 a:{a:u3}})", "a\"b", "u1"},
        Layout{R"({"x":{"k":1},"k":2})", "{x:{k:u1} k:u2}", "k", "u2"},
        Layout{R"({"a":1,"b":{"a":2},"c":3,"a":4})", "{a:u1 b:{a:u2} c:u3 a:u4}", "a", "u4"},
        Layout{R"({"x":{"k":1}})", "{x:{k:u1}}", "k", ""},
        Layout{R"({"t":"2025-01-05T00:00:00Z","n":0,"m":[false,18446744073709551615]})",
               R"({t:"2025-01-05T00:00:00Z" n:u0 m:[f u18446744073709551615]})", "m",
               "[f u18446744073709551615]"},
        Layout{"[1,{\"a\":2}]", "[u1 {a:u2}]", "a", ""}));

}  // namespace
