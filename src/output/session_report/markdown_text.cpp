#include "output/session_report/markdown_text.hpp"

#include <algorithm>

#include "output/session_report/text_escape.hpp"

namespace vt::report {

namespace {

constexpr std::string_view kInlineMarks = "\\`*_[]<>&|~!";
constexpr std::string_view kBlockStarts = "#>-+=";

void escape_inline(std::string& out, std::string_view line) {
  for (const char c : line) {
    if (kInlineMarks.find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
}

// One line whose start cannot open a block: leading blanks kept visible as
// no-break spaces, list, heading, quote and rule markers escaped.
void escape_line(std::string& out, std::string_view line) {
  std::size_t i = 0;
  for (; i < line.size() && (line[i] == ' ' || line[i] == '\t'); ++i) {
    out += line[i] == '\t' ? "&nbsp;&nbsp;&nbsp;&nbsp;" : "&nbsp;";
  }
  line.remove_prefix(i);
  if (!line.empty() && kBlockStarts.find(line.front()) != std::string_view::npos) {
    out += '\\';
  } else {
    // An ordered-list marker: up to nine digits, then "." or ")".
    std::size_t digits = 0;
    while (digits < line.size() && digits < 10 && line[digits] >= '0' && line[digits] <= '9') ++digits;
    if (digits > 0 && digits < 10 && digits < line.size() && (line[digits] == '.' || line[digits] == ')')) {
      escape_inline(out, line.substr(0, digits));
      out += '\\';
      line.remove_prefix(digits);
    }
  }
  escape_inline(out, line);
}

}  // namespace

std::string md_inline(std::string_view text) {
  std::string flat = printable(text);
  std::ranges::replace(flat, '\n', ' ');
  std::ranges::replace(flat, '\t', ' ');
  std::string out;
  // Leading blanks would be trimmed; a leading marker could open a block.
  const std::size_t start = flat.find_first_not_of(' ');
  if (start == std::string::npos) return out;
  escape_line(out, std::string_view(flat).substr(start));
  return out;
}

std::string md_paragraphs(std::string_view text, std::string_view prefix) {
  const std::string clean = printable(text);
  std::string out;
  std::string_view rest = clean;
  while (!rest.empty() && rest.back() == '\n') rest.remove_suffix(1);
  bool previous_blank = true;
  while (true) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    const bool blank = line.find_first_not_of(" \t") == std::string_view::npos;
    const bool last = end >= rest.size();
    const bool next_blank = !last && [&] {
      const std::string_view after = rest.substr(end + 1);
      const std::string_view next = after.substr(0, std::min(after.find('\n'), after.size()));
      return next.find_first_not_of(" \t") == std::string_view::npos;
    }();
    if (blank) {
      if (!previous_blank) out += std::string(prefix.substr(0, prefix.find_last_not_of(' ') + 1)) + "\n";
    } else {
      out += prefix;
      escape_line(out, line);
      // A hard break keeps the line break the text had.
      if (!last && !next_blank) out += '\\';
      out += '\n';
    }
    previous_blank = blank;
    if (last) break;
    rest.remove_prefix(end + 1);
  }
  return out;
}

std::string md_code_block(std::string_view text) {
  std::string body = printable(text);
  std::size_t longest = 0, run = 0;
  for (const char c : body) {
    run = c == '`' ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  const std::string fence(std::max<std::size_t>(3, longest + 1), '`');
  if (!body.empty() && body.back() != '\n') body += '\n';
  return fence + "text\n" + body + fence + "\n";
}

}  // namespace vt::report
