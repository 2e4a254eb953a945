#include "output/json_text.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/path_text.hpp"
#include "core/utf8.hpp"
#include "output/buffered_sink.hpp"

namespace vt {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr std::string_view kSpaces = "                                                                ";

// Whether any of the eight bytes of `word` must be escaped: a control byte
// (below 0x20), a quote or a backslash. Exact, never a false answer.
bool word_needs_escape(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  const auto has_zero_byte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
  const std::uint64_t below_space = (word - kOnes * 0x20) & ~word & kHigh;
  return (below_space | has_zero_byte(word ^ (kOnes * '"')) | has_zero_byte(word ^ (kOnes * '\\'))) != 0;
}

#if defined(__SSE2__)
// Bit k set where byte k of the sixteen at `s` must be escaped.
int escape_mask(const char* s) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  // A byte at most 0x1F (unsigned) is its own minimum with 0x1F.
  const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v),
                                   _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
  return _mm_movemask_epi8(hit);
}
#endif

// The index of the first byte at or after `i` that must be escaped, or
// `size`: sixteen bytes at a time where the CPU has SSE2 (the last sixteen
// of a text read once more rather than byte by byte), else eight.
std::size_t plain_until(const char* s, std::size_t i, std::size_t size) {
#if defined(__SSE2__)
  if (size >= 16) {
    for (; i + 16 <= size; i += 16) {
      if (const int mask = escape_mask(s + i)) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
    if (i == size) return size;
    const std::size_t base = size - 16;
    const int mask = escape_mask(s + base) & ~((1 << (i - base)) - 1);
    return mask != 0 ? base + static_cast<std::size_t>(__builtin_ctz(mask)) : size;
  }
#endif
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, s + i, 8);
    if (word_needs_escape(word)) break;
  }
  for (; i < size; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == '"' || c == '\\') return i;
  }
  return size;
}

// The length of the ASCII bytes `text` starts with.
std::size_t ascii_prefix(std::string_view text) {
  const char* s = text.data();
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= text.size(); i += 16) {
    const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
    if (high != 0) return i + static_cast<std::size_t>(__builtin_ctz(high));
  }
#endif
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, s + i, 8);
    if (word & 0x8080808080808080ULL) break;
  }
  while (i < text.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

template <class Out>
void put_escaped(Out& out, std::string_view s) {
  std::size_t run = 0;
  for (std::size_t i = plain_until(s.data(), 0, s.size()); i < s.size();
       i = plain_until(s.data(), i + 1, s.size())) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (i > run) out.append(s.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '"': out.append("\\\"", 2); break;
      case '\\': out.append("\\\\", 2); break;
      case '\b': out.append("\\b", 2); break;
      case '\t': out.append("\\t", 2); break;
      case '\n': out.append("\\n", 2); break;
      case '\f': out.append("\\f", 2); break;
      case '\r': out.append("\\r", 2); break;
      default: {
        const char escape[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        out.append(escape, 6);
      }
    }
  }
  if (run < s.size()) out.append(s.data() + run, s.size() - run);
}

template <class Out>
void put_newline_indent(Out& out, std::size_t level) {
  out.push_back('\n');
  std::size_t spaces = level * 2;
  while (spaces > 0) {
    const std::size_t n = spaces < kSpaces.size() ? spaces : kSpaces.size();
    out.append(kSpaces.data(), n);
    spaces -= n;
  }
}

template <class Out>
void put_int(Out& out, std::int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

template <class Out>
void put_scalar(Out& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::boolean:
      if (value.get<bool>()) {
        out.append("true", 4);
      } else {
        out.append("false", 5);
      }
      return;
    case Json::value_t::number_integer:
      put_int(out, value.get<std::int64_t>());
      return;
    case Json::value_t::number_unsigned:
      put_uint(out, value.get<std::uint64_t>());
      return;
    case Json::value_t::number_float: {
      std::string text;
      append_float_text(text, value.get<double>());
      out.append(text.data(), text.size());
      return;
    }
    case Json::value_t::string:
      put_json_string(out, value.get_ref<const std::string&>());
      return;
    default:
      // null; binary and discarded values never come out of the parser.
      out.append("null", 4);
      return;
  }
}

}  // namespace

template <class Out>
void put_json_string(Out& out, std::string_view text) {
  out.push_back('"');
  // ASCII is valid as it is; past it the text is checked (and repaired where
  // invalid, which leaves the ASCII before it as it is).
  const std::size_t ascii = ascii_prefix(text);
  if (ascii == text.size() || valid_utf8(text.substr(ascii))) {
    put_escaped(out, text);
  } else {
    put_escaped(out, text.substr(0, ascii));
    put_escaped(out, utf8_lossy(text.substr(ascii)));
  }
  out.push_back('"');
}

template <class Out>
void put_uint(Out& out, std::uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

template <class Out>
void put_json_value(Out& out, const Json& root, bool pretty, std::size_t depth) {
  struct Frame {
    const Json* node;
    Json::const_iterator next;
    bool first;
  };
  std::vector<Frame> stack;
  const auto open = [&](const Json& value) {
    if (!value.is_object() && !value.is_array()) {
      put_scalar(out, value);
    } else if (value.empty()) {
      out.append(value.is_object() ? "{}" : "[]", 2);
    } else {
      out.push_back(value.is_object() ? '{' : '[');
      stack.push_back(Frame{&value, value.cbegin(), true});
    }
  };

  open(root);
  while (!stack.empty()) {
    Frame& top = stack.back();
    const std::size_t member_level = depth + stack.size();
    if (top.next == top.node->cend()) {
      const bool object = top.node->is_object();
      stack.pop_back();
      if (pretty) put_newline_indent(out, member_level - 1);
      out.push_back(object ? '}' : ']');
      continue;
    }
    if (!top.first) out.push_back(',');
    top.first = false;
    if (pretty) put_newline_indent(out, member_level);
    if (top.node->is_object()) {
      put_json_string(out, top.next.key());
      if (pretty) {
        out.append(": ", 2);
      } else {
        out.push_back(':');
      }
    }
    const Json& child = *top.next;
    ++top.next;
    open(child);  // may grow the stack: `top` is not used after this
  }
}

void append_float_text(std::string& out, double value) {
  // The JSON library's own number form: shortest round trip, ".0" kept on
  // integral values, exponent with sign and at least two digits.
  try {
    out += Json(value).dump();
  } catch (const Json::exception&) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
  }
}

std::string value_text(const Json& value) {
  std::string text;
  put_json_value(text, value, false, 0);
  return text;
}

template void put_json_string<std::string>(std::string&, std::string_view);
template void put_json_string<BufferedSink>(BufferedSink&, std::string_view);
template void put_uint<std::string>(std::string&, std::uint64_t);
template void put_uint<BufferedSink>(BufferedSink&, std::uint64_t);
template void put_json_value<std::string>(std::string&, const Json&, bool, std::size_t);
template void put_json_value<BufferedSink>(BufferedSink&, const Json&, bool, std::size_t);

}  // namespace vt
