#include "cli/terminal_text.hpp"

#include <cstdio>

#include "core/path_text.hpp"

namespace vt::cli {

namespace {

std::string escape(unsigned code) {
  switch (code) {
    case '\n': return "\\n";
    case '\t': return "\\t";
    case '\r': return "\\r";
    default: break;
  }
  char text[8];
  if (code < 0x80) {
    std::snprintf(text, sizeof text, "\\x%02x", code);
  } else {
    std::snprintf(text, sizeof text, "\\u%04x", code);
  }
  return text;
}

}  // namespace

std::string terminal_text(std::string_view text, bool keep_line_breaks) {
  const std::string valid = utf8_lossy(text);
  std::string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto byte = static_cast<unsigned char>(valid[i]);
    if (byte < 0x20 || byte == 0x7f) {
      if (keep_line_breaks && (byte == '\n' || byte == '\t')) {
        out += static_cast<char>(byte);
      } else {
        out += escape(byte);
      }
    } else if (byte == 0xc2 && i + 1 < valid.size() &&
               static_cast<unsigned char>(valid[i + 1]) < 0xa0) {
      // U+0080 to U+009F: C2 80 to C2 9F (the text is valid UTF-8 here).
      out += escape(static_cast<unsigned char>(valid[++i]));
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace vt::cli
