#include "core/utf8.hpp"

#include <cstdint>
#include <cstring>

#include <simdjson.h>

namespace vt {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

bool valid_utf8(std::string_view bytes) { return simdjson::validate_utf8(bytes.data(), bytes.size()); }

std::optional<Utf8Error> find_utf8_error(std::string_view bytes) {
  // Valid text, nearly always: settled by the vector validator alone.
  if (valid_utf8(bytes)) return std::nullopt;
  return scan_utf8_error(bytes);
}

std::optional<Utf8Error> scan_utf8_error(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    // Skip ASCII eight bytes at a time.
    while (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, s + i, 8);
      if (word & kHighBits) break;
      i += 8;
    }
    if (i >= n) break;
    const unsigned char b0 = s[i];
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2;
      if (b0 == 0xE0) lo = 0xA0;
      if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    } else {
      return Utf8Error{i, 1};
    }
    // Length of the valid prefix of this sequence, the lead byte included.
    std::size_t k = 1;
    for (; k <= need; ++k) {
      if (i + k >= n) return Utf8Error{i, 0};
      const unsigned char b = s[i + k];
      const bool ok = k == 1 ? (b >= lo && b <= hi) : is_continuation(b);
      if (!ok) return Utf8Error{i, k};
    }
    i += need + 1;
  }
  return std::nullopt;
}

std::string utf8_error_text(const Utf8Error& error) {
  if (error.error_length == 0) {
    return "incomplete utf-8 byte sequence from index " + std::to_string(error.valid_up_to);
  }
  return "invalid utf-8 sequence of " + std::to_string(error.error_length) + " bytes from index " +
         std::to_string(error.valid_up_to);
}

}  // namespace vt
