#include "cli/terminal_text.hpp"

#include <cstdio>

#include "core/hidden_controls.hpp"
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
    } else if (const auto hidden = hidden_control_at(valid, i)) {
      // C1 controls and bidirectional overrides (the text is valid UTF-8 here).
      out += hidden_control_escape(hidden->code);
      i += hidden->bytes - 1;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace vt::cli
