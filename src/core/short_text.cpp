#include "core/short_text.hpp"

namespace vt {

std::string cut_text(std::string_view text, std::size_t limit) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters++ == limit) return std::string(text.substr(0, i)) + "\xE2\x80\xA6";
  }
  return std::string(text);
}

std::string one_line_argument(std::string_view text) {
  std::string shown = cut_text(text, kToolArgumentLimit);
  for (char& c : shown) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return shown;
}

}  // namespace vt
