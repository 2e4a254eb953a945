#include "jsonl/trim.hpp"

namespace vt {

namespace {

using Bytes = const unsigned char*;

bool ascii_space(unsigned char b) { return b == 0x20 || (b >= 0x09 && b <= 0x0D); }

// Length of the white-space character that starts at s[0] (n bytes left), or 0.
std::size_t space_at(Bytes s, std::size_t n) {
  const unsigned char b = s[0];
  if (ascii_space(b)) return 1;
  if (b < 0xC2 || n < 2) return 0;
  if (b == 0xC2) return (s[1] == 0x85 || s[1] == 0xA0) ? 2 : 0;
  if (n < 3) return 0;
  if (b == 0xE1) return (s[1] == 0x9A && s[2] == 0x80) ? 3 : 0;
  if (b == 0xE2) {
    if (s[1] == 0x80) {
      const unsigned char c = s[2];
      return ((c >= 0x80 && c <= 0x8A) || c == 0xA8 || c == 0xA9 || c == 0xAF) ? 3 : 0;
    }
    return (s[1] == 0x81 && s[2] == 0x9F) ? 3 : 0;
  }
  if (b == 0xE3) return (s[1] == 0x80 && s[2] == 0x80) ? 3 : 0;
  return 0;
}

// Length of the white-space character that ends at s[n - 1], or 0. In valid
// UTF-8 the lead bytes matched here cannot be continuation bytes, so the
// match is a whole character.
std::size_t space_before(Bytes s, std::size_t n) {
  if (ascii_space(s[n - 1])) return 1;
  if (s[n - 1] < 0x80) return 0;
  if (n >= 2 && s[n - 2] == 0xC2) return space_at(s + n - 2, 2);
  if (n >= 3 && s[n - 3] >= 0xE1) return space_at(s + n - 3, 3) == 3 ? 3 : 0;
  return 0;
}

}  // namespace

std::string_view trim_line(std::string_view text) {
  auto s = reinterpret_cast<Bytes>(text.data());
  std::size_t begin = 0, end = text.size();
  while (begin < end) {
    const std::size_t k = space_at(s + begin, end - begin);
    if (k == 0) break;
    begin += k;
  }
  while (end > begin) {
    const std::size_t k = space_before(s + begin, end - begin);
    if (k == 0) break;
    end -= k;
  }
  return text.substr(begin, end - begin);
}

}  // namespace vt
