#include "core/path_text.hpp"

#include <cstring>

namespace vt {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when invalid.
// `maximal` receives the length of the maximal invalid prefix (at least 1).
std::size_t valid_sequence(std::string_view s, std::size_t i, std::size_t& maximal) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  maximal = 1;
  if (b0 < 0x80) return 1;
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
    return 0;
  }
  for (std::size_t k = 1; k <= need; ++k) {
    if (i + k >= s.size()) return 0;
    const unsigned char b = byte(i + k);
    if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
    maximal = k + 1;
  }
  return need + 1;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0, maximal = 0;
  while (i < bytes.size()) {
    const std::size_t n = valid_sequence(bytes, i, maximal);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0, maximal = 0;
  while (i < bytes.size()) {
    const std::size_t n = valid_sequence(bytes, i, maximal);
    if (n == 0) {
      out.append("\xEF\xBF\xBD");
      i += maximal;
    } else {
      out.append(bytes.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string path_text(const std::filesystem::path& path) {
  std::string text = utf8_lossy(path.native());
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

std::string os_error_text(const std::error_code& error) {
  return error.message();
}

}  // namespace vt
