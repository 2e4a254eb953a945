// The format characters that change how a line shows without showing
// themselves: the C1 controls (U+0080 to U+009F) and the bidirectional
// controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069),
// with which a text can display in another order than it reads (the right-
// to-left override U+202E turns "exe.txt" around). Outputs meant for people
// show them as escapes, like the other controls.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

struct HiddenControl {
  unsigned code;      // the code point
  std::size_t bytes;  // its length in UTF-8
};

// The hidden control whose UTF-8 encoding starts at `text[i]`, if any.
inline std::optional<HiddenControl> hidden_control_at(std::string_view text, std::size_t i) {
  const auto at = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
  const unsigned b0 = at(i), b1 = at(i + 1), b2 = at(i + 2);
  if (b0 == 0xC2 && b1 >= 0x80 && b1 <= 0x9F) return HiddenControl{b1, 2};
  if (b0 == 0xD8 && b1 == 0x9C) return HiddenControl{0x061C, 2};
  if (b0 == 0xE2 && b1 == 0x80 && (b2 == 0x8E || b2 == 0x8F || (b2 >= 0xAA && b2 <= 0xAE))) {
    return HiddenControl{0x2000u + (b2 - 0x80u), 3};
  }
  if (b0 == 0xE2 && b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9) return HiddenControl{0x2040u + (b2 - 0x80u), 3};
  return std::nullopt;
}

// "\u202e": how a hidden control is shown.
inline std::string hidden_control_escape(unsigned code) {
  char text[8];
  std::snprintf(text, sizeof text, "\\u%04x", code);
  return text;
}

}  // namespace vt
