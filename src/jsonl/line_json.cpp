#include "jsonl/line_json.hpp"

#include <cmath>
#include <cstring>
#include <new>

#include <simdjson.h>

#include "jsonl/json_parse.hpp"
#include "jsonl/line_reader.hpp"

namespace vt {

namespace {

// Longer lines go to the reference parser alone: the fast parser's working
// memory is several times the size of the longest line it has seen.
constexpr std::size_t kMaxFastLine = 16u << 20;

static_assert(simdjson::SIMDJSON_PADDING <= JsonlReader::kPadding,
              "the line reader keeps the fast parser's padding after each line");

// Lays out a parsed document on a tape; false when the value is one the
// reference parser must decide (too deep, not finite).
class TapeBuilder {
 public:
  explicit TapeBuilder(std::vector<JsonNode>& nodes) : nodes_(nodes) {}

  bool lay_out(simdjson::dom::element element, std::string_view key, std::size_t depth) {
    const auto at = static_cast<std::uint32_t>(nodes_.size());
    nodes_.emplace_back();
    JsonNode* node = &nodes_[at];
    node->set_key(key);
    switch (element.type()) {
      case simdjson::dom::element_type::ARRAY: {
        if (depth >= kMaxJsonDepth) return false;
        node->kind = JsonKind::Array;
        const simdjson::dom::array items = element.get_array().value_unsafe();
        for (simdjson::dom::element item : items) {
          if (!lay_out(item, {}, depth + 1)) return false;
        }
        break;
      }
      case simdjson::dom::element_type::OBJECT: {
        if (depth >= kMaxJsonDepth) return false;
        node->kind = JsonKind::Object;
        const simdjson::dom::object fields = element.get_object().value_unsafe();
        for (auto field : fields) {
          if (!lay_out(field.value, field.key, depth + 1)) return false;
        }
        break;
      }
      case simdjson::dom::element_type::INT64: {
        const std::int64_t v = element.get_int64().value_unsafe();
        if (v < 0) {
          node->kind = JsonKind::Integer;
          node->number.integer = v;
        } else {
          saw_zero_ = saw_zero_ || v == 0;
          node->kind = JsonKind::Unsigned;
          node->number.unsigned_value = static_cast<std::uint64_t>(v);
        }
        break;
      }
      case simdjson::dom::element_type::UINT64:
        node->kind = JsonKind::Unsigned;
        node->number.unsigned_value = element.get_uint64().value_unsafe();
        break;
      case simdjson::dom::element_type::DOUBLE: {
        const double v = element.get_double().value_unsafe();
        if (!std::isfinite(v)) return false;
        node->kind = JsonKind::Float;
        node->number.float_value = v;
        break;
      }
      case simdjson::dom::element_type::STRING:
        node->kind = JsonKind::String;
        node->set_text(element.get_string().value_unsafe());
        break;
      case simdjson::dom::element_type::BOOL:
        node->kind = JsonKind::Boolean;
        node->number.boolean = element.get_bool().value_unsafe();
        break;
      case simdjson::dom::element_type::NULL_VALUE:
        break;
    }
    nodes_[at].end = static_cast<std::uint32_t>(nodes_.size());
    return true;
  }

  // Some integer was zero: then a written "-0" (held as a signed zero) cannot
  // be told from "0" (held as an unsigned zero).
  bool saw_zero() const { return saw_zero_; }

 private:
  std::vector<JsonNode>& nodes_;
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
  JsonTape tape;   // the line's value, laid out
  Json fallback;   // a value of the reference parser, which the tape then reads

  // Lays the line out on the tape with the fast parser; false when it
  // declines the line. With `padded`, the padding follows `text` already.
  bool lay_out_fast(std::string_view text, bool padded);
};

bool LineJsonParser::State::lay_out_fast(std::string_view text, bool padded) {
  if (text.size() > kMaxFastLine) return false;
  const char* at = text.data();
  if (!padded) {
    const std::size_t needed = text.size() + simdjson::SIMDJSON_PADDING;
    if (needed > capacity) {
      buffer.reset(new (std::nothrow) char[needed]);
      capacity = buffer ? needed : 0;
      if (!buffer) return false;
    }
    // The line is copied whole, NUL bytes included, and parsed by its length.
    std::memcpy(buffer.get(), text.data(), text.size());
    std::memset(buffer.get() + text.size(), 0, simdjson::SIMDJSON_PADDING);
    at = buffer.get();
  }
  simdjson::dom::element root;
  if (parser.parse(at, text.size(), /*realloc_if_needed=*/false).get(root)) return false;
  tape.clear();
  // A value takes at least two bytes of the line (one for the last): room
  // for them all at once, so the tape never grows by copying itself. Pages
  // reserved and not filled cost no memory.
  TapeBuilder builder(tape.nodes());
  try {
    tape.nodes().reserve(text.size() / 2 + 1);
    if (!builder.lay_out(root, {}, 0)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return !(builder.saw_zero() && has_negative_zero_token(text));
}

LineJsonParser::LineJsonParser() : state_(std::make_unique<State>()) {}
LineJsonParser::~LineJsonParser() = default;
LineJsonParser::LineJsonParser(LineJsonParser&&) noexcept = default;
LineJsonParser& LineJsonParser::operator=(LineJsonParser&&) noexcept = default;

std::expected<JsonView, std::string> LineJsonParser::parse_view(std::string_view text, bool padded) {
  State& s = *state_;
  if (s.lay_out_fast(text, padded)) {
    if (!s.fallback.is_null()) s.fallback = nullptr;  // an earlier line's value, no longer read
  } else {
    auto value = parse_json_text(text);
    if (!value) return std::unexpected(std::move(value.error()));
    s.fallback = std::move(*value);
    s.tape.assign(s.fallback);
  }
  return JsonView(s.tape, 0);
}

std::optional<Json> LineJsonParser::parse_fast(std::string_view text) {
  if (!state_->lay_out_fast(text, false)) return std::nullopt;
  try {
    return JsonView(state_->tape, 0).held();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::expected<Json, std::string> LineJsonParser::parse(std::string_view text) {
  if (auto value = parse_fast(text)) return std::move(*value);
  return parse_json_text(text);
}

}  // namespace vt
