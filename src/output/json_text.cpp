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

#if defined(__SSE2__)
// Bit k set where byte k of the sixteen at `s` must be escaped (a control
// byte, a quote or a backslash) or, with `kHigh`, is past ASCII.
template <bool kHigh>
int attention_mask(const char* s) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  // Signed, a byte past ASCII is negative, hence below 0x20 too; unsigned, a
  // byte at most 0x1F is its own minimum with 0x1F.
  const __m128i low = kHigh ? _mm_cmplt_epi8(v, _mm_set1_epi8(0x20))
                            : _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
  const __m128i hit = _mm_or_si128(low, _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                     _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
  return _mm_movemask_epi8(hit);
}
#else
template <bool kHigh>
int attention_mask(const char* s) {
  int mask = 0;
  for (int k = 0; k < 16; ++k) {
    const auto c = static_cast<unsigned char>(s[k]);
    if (c < 0x20 || c == '"' || c == '\\' || (kHigh && c >= 0x80)) mask |= 1 << k;
  }
  return mask;
}
#endif

template <class Out>
void put_escape(Out& out, unsigned char c) {
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

// Writes `s` escaped, in one pass sixteen bytes at a time (a text's last
// sixteen read once more rather than byte by byte, a text shorter than
// sixteen through a copy), and returns its size; with `kStopAtHigh`, stops
// at the first byte past ASCII instead, having written what comes before
// it, and returns its index.
template <bool kStopAtHigh, class Out>
std::size_t put_escaped_until(Out& out, std::string_view s) {
  const char* p = s.data();
  const std::size_t size = s.size();
  std::size_t run = 0;  // the first byte not yet written
  // Handles the bytes of `mask` (bit k for byte base + k) in order; returns
  // the index of a byte past ASCII to stop at, else `size`.
  const auto take = [&](std::size_t base, int mask) -> std::size_t {
    for (; mask != 0; mask &= mask - 1) {
      const std::size_t i = base + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
      const auto c = static_cast<unsigned char>(p[i]);
      if (i > run) out.append(p + run, i - run);
      run = i;
      if (kStopAtHigh && c >= 0x80) return i;
      put_escape(out, c);
      run = i + 1;
    }
    return size;
  };
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    if (const int mask = attention_mask<kStopAtHigh>(p + i)) {
      if (const std::size_t stop = take(i, mask); stop != size) return stop;
    }
  }
  if (i < size) {
    int mask;
    std::size_t base;
    if (size >= 16) {
      base = size - 16;
      mask = attention_mask<kStopAtHigh>(p + base) & ~((1 << (i - base)) - 1);
    } else {
      char copy[16] = {};
      std::memcpy(copy, p, size);
      base = 0;
      mask = attention_mask<kStopAtHigh>(copy) & ((1 << size) - 1);
    }
    if (mask != 0) {
      if (const std::size_t stop = take(base, mask); stop != size) return stop;
    }
  }
  if (run < size) out.append(p + run, size - run);
  return size;
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
  const std::size_t ascii = put_escaped_until<true>(out, text);
  if (ascii < text.size()) {
    const std::string_view rest = text.substr(ascii);
    if (valid_utf8(rest)) {
      put_escaped_until<false>(out, rest);
    } else {
      put_escaped_until<false>(out, utf8_lossy(rest));
    }
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
