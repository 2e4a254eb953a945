#include "jsonl/line_json.hpp"

#include <cmath>
#include <cstring>
#include <new>

#include <simdjson.h>

#include "jsonl/json_parse.hpp"

namespace vt {

namespace {

// Longer lines go to the reference parser alone: the fast parser's working
// memory is several times the size of the longest line it has seen.
constexpr std::size_t kMaxFastLine = 16u << 20;

// Builds the held value of a parsed document; false when the value is one
// the reference parser must decide (too deep, not finite, no memory).
class Converter {
 public:
  bool convert(simdjson::dom::element element, Json& out, std::size_t depth) {
    switch (element.type()) {
      case simdjson::dom::element_type::ARRAY: {
        if (depth >= kMaxJsonDepth) return false;
        out = Json::array();
        auto& items = out.get_ref<Json::array_t&>();
        const simdjson::dom::array elements = element.get_array().value_unsafe();
        for (simdjson::dom::element item : elements) {
          items.emplace_back();
          if (!convert(item, items.back(), depth + 1)) return false;
        }
        return true;
      }
      case simdjson::dom::element_type::OBJECT: {
        if (depth >= kMaxJsonDepth) return false;
        out = Json::object();
        auto& members = out.get_ref<Json::object_t&>();
        const simdjson::dom::object fields = element.get_object().value_unsafe();
        for (auto field : fields) {
          // A repeated key lands on the same member: the last one wins.
          if (!convert(field.value, members[std::string(field.key)], depth + 1)) return false;
        }
        return true;
      }
      case simdjson::dom::element_type::INT64: {
        const std::int64_t v = element.get_int64().value_unsafe();
        if (v < 0) {
          out = static_cast<Json::number_integer_t>(v);
        } else {
          saw_zero_ = saw_zero_ || v == 0;
          out = static_cast<Json::number_unsigned_t>(v);
        }
        return true;
      }
      case simdjson::dom::element_type::UINT64:
        out = static_cast<Json::number_unsigned_t>(element.get_uint64().value_unsafe());
        return true;
      case simdjson::dom::element_type::DOUBLE: {
        const double v = element.get_double().value_unsafe();
        if (!std::isfinite(v)) return false;
        out = v;
        return true;
      }
      case simdjson::dom::element_type::STRING:
        out = std::string(element.get_string().value_unsafe());
        return true;
      case simdjson::dom::element_type::BOOL:
        out = element.get_bool().value_unsafe();
        return true;
      case simdjson::dom::element_type::NULL_VALUE:
        out = nullptr;
        return true;
    }
    return false;
  }

  // Some integer was zero: then a written "-0" (held as a signed zero) cannot
  // be told from "0" (held as an unsigned zero).
  bool saw_zero() const { return saw_zero_; }

 private:
  bool saw_zero_ = false;
};

// Whether `text` holds the token -0 outside a fraction or exponent (inside a
// string the same bytes only cost a second parse).
bool has_negative_zero_token(std::string_view text) {
  for (std::size_t at = text.find("-0"); at != std::string_view::npos; at = text.find("-0", at + 1)) {
    if (at + 2 == text.size()) return true;
    switch (text[at + 2]) {
      case ' ': case '\t': case '\n': case '\r': case ',': case ']': case '}':
        return true;
      default:
        break;
    }
  }
  return false;
}

}  // namespace

struct LineJsonParser::State {
  simdjson::dom::parser parser;
  std::unique_ptr<char[]> buffer;  // the line followed by the parser's padding
  std::size_t capacity = 0;
};

LineJsonParser::LineJsonParser() : state_(std::make_unique<State>()) {}
LineJsonParser::~LineJsonParser() = default;
LineJsonParser::LineJsonParser(LineJsonParser&&) noexcept = default;
LineJsonParser& LineJsonParser::operator=(LineJsonParser&&) noexcept = default;

std::optional<Json> LineJsonParser::parse_fast(std::string_view text) {
  if (text.size() > kMaxFastLine) return std::nullopt;
  State& s = *state_;
  const std::size_t needed = text.size() + simdjson::SIMDJSON_PADDING;
  if (needed > s.capacity) {
    s.buffer.reset(new (std::nothrow) char[needed]);
    s.capacity = s.buffer ? needed : 0;
    if (!s.buffer) return std::nullopt;
  }
  // The line is copied whole, NUL bytes included, and parsed by its length.
  std::memcpy(s.buffer.get(), text.data(), text.size());
  std::memset(s.buffer.get() + text.size(), 0, simdjson::SIMDJSON_PADDING);
  simdjson::dom::element root;
  if (s.parser.parse(s.buffer.get(), text.size(), /*realloc_if_needed=*/false).get(root)) {
    return std::nullopt;
  }
  Json value;
  Converter converter;
  try {
    if (!converter.convert(root, value, 0)) return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (converter.saw_zero() && has_negative_zero_token(text)) return std::nullopt;
  return value;
}

std::expected<Json, std::string> LineJsonParser::parse(std::string_view text) {
  if (auto value = parse_fast(text)) return std::move(*value);
  return parse_json_text(text);
}

}  // namespace vt
