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

// Lays the fast parser's own tape out as nodes, in one pass over its words
// (see simdjson's tape layout: a word's top byte is its kind, the rest its
// payload; a number's value is the next word; a container's opening word
// holds the index of the word after its closing one; a string's payload is
// the offset of its 32-bit length and bytes in the string buffer). False
// when the value is one the reference parser must decide (too deep, not
// finite).
class TapeWalker {
 public:
  explicit TapeWalker(const simdjson::dom::document& document)
      : words_(document.tape.get()), strings_(document.string_buf.get()) {}

  // The number of nodes the value can take at most: one per tape word.
  std::size_t words() const { return static_cast<std::size_t>(words_[0] & kPayload); }

  // Writes the nodes from `nodes` on, which has room for `words()`; their
  // number, or nothing.
  std::optional<std::size_t> lay_out(JsonNode* nodes) {
    // Word 0 opens the root and holds the index one past the word closing it.
    const std::size_t last = words() - 1;
    std::uint32_t open[kMaxJsonDepth];  // node index of each open container
    std::size_t depth = 0;
    bool in_object = false;  // whether the innermost open container is an object
    std::uint32_t size = 0;
    for (std::size_t at = 1; at < last;) {
      std::uint64_t word = words_[at];
      char type = static_cast<char>(word >> 56);
      if (type == ']' || type == '}') {
        nodes[open[--depth]].end = size;
        in_object = depth > 0 && nodes[open[depth - 1]].kind == JsonKind::Object;
        ++at;
        continue;
      }
      JsonNode& node = nodes[size++];
      node.number.unsigned_value = 0;
      node.text_size = 0;
      node.end = size;
      if (in_object) {
        const std::string_view key = string(word);  // a member: its key, then its value
        node.key_data = key.data();
        node.key_size = key.size();
        word = words_[++at];
        type = static_cast<char>(word >> 56);
      } else {
        node.key_data = nullptr;
        node.key_size = 0;
      }
      switch (type) {
        case '[':
        case '{':
          if (depth >= kMaxJsonDepth) return std::nullopt;
          node.kind = type == '[' ? JsonKind::Array : JsonKind::Object;
          open[depth++] = size - 1;
          in_object = type == '{';
          ++at;
          break;  // its end is known when it closes
        case 'l': {
          const auto v = static_cast<std::int64_t>(words_[at + 1]);
          if (v < 0) {
            node.kind = JsonKind::Integer;
            node.number.integer = v;
          } else {
            saw_zero_ = saw_zero_ || v == 0;
            node.kind = JsonKind::Unsigned;
            node.number.unsigned_value = static_cast<std::uint64_t>(v);
          }
          at += 2;
          break;
        }
        case 'u':
          node.kind = JsonKind::Unsigned;
          node.number.unsigned_value = words_[at + 1];
          at += 2;
          break;
        case 'd': {
          double v;
          std::memcpy(&v, &words_[at + 1], sizeof v);
          if (!std::isfinite(v)) return std::nullopt;
          node.kind = JsonKind::Float;
          node.number.float_value = v;
          at += 2;
          break;
        }
        case '"':
          node.kind = JsonKind::String;
          node.set_text(string(word));
          ++at;
          break;
        case 't':
        case 'f':
          node.kind = JsonKind::Boolean;
          node.number.boolean = type == 't';
          ++at;
          break;
        case 'n':
          node.kind = JsonKind::Null;
          ++at;
          break;
        default:  // no other word comes out of a successful parse
          return std::nullopt;
      }
    }
    if (depth != 0) return std::nullopt;
    return size;
  }

  // Some integer was zero: then a written "-0" (held as a signed zero) cannot
  // be told from "0" (held as an unsigned zero).
  bool saw_zero() const { return saw_zero_; }

 private:
  static constexpr std::uint64_t kPayload = (std::uint64_t{1} << 56) - 1;

  std::string_view string(std::uint64_t word) const {
    const std::uint8_t* at = strings_ + (word & kPayload);
    std::uint32_t size;
    std::memcpy(&size, at, sizeof size);
    return {reinterpret_cast<const char*>(at + sizeof size), size};
  }

  const std::uint64_t* words_;
  const std::uint8_t* strings_;
  bool saw_zero_ = false;
};

// Whether a number of the line just parsed is written -0 (no fraction, no
// exponent). The parser's first stage found where every token starts: only
// those are looked at, so the bytes inside strings (dates, ids) cost nothing.
bool has_negative_zero_token(const simdjson::dom::parser& parser, std::string_view text) {
  const simdjson::internal::dom_parser_implementation& found = *parser.implementation;
  for (std::uint32_t i = 0; i < found.n_structural_indexes; ++i) {
    const std::size_t at = found.structural_indexes[i];
    if (at + 1 >= text.size() || text[at] != '-' || text[at + 1] != '0') continue;
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
  // Room for every node at once: one per word of the parser's tape.
  TapeWalker walker(parser.doc);
  JsonNode* nodes = tape.start(walker.words());
  if (nodes == nullptr) return false;
  const auto size = walker.lay_out(nodes);
  if (!size) return false;
  tape.set_size(*size);
  return !(walker.saw_zero() && has_negative_zero_token(parser, text));
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
