#include "output/session_report/text_escape.hpp"

#include "core/hidden_controls.hpp"

namespace vt::report {

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (const auto hidden = hidden_control_at(text, i)) {
      out += hidden_control_escape(hidden->code);
      i += hidden->bytes - 1;
    } else if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
    } else if (c == '\n' || c == '\t') {
      out += static_cast<char>(c);
    } else {
      // U+2400 + c (U+2421 for DEL), three bytes in UTF-8.
      const unsigned picture = c == 0x7F ? 0x2421 : 0x2400 + c;
      out += static_cast<char>(0xE0 | (picture >> 12));
      out += static_cast<char>(0x80 | ((picture >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (picture & 0x3F));
    }
  }
  return out;
}

void append_html(std::string& out, std::string_view text) {
  for (const char c : printable(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}

std::string html_escape(std::string_view text) {
  std::string out;
  append_html(out, text);
  return out;
}

}  // namespace vt::report
