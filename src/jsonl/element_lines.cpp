#include "jsonl/element_lines.hpp"

#include <cstring>

namespace vt {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool ends_token(char c) { return is_blank(c) || c == ',' || c == ']' || c == '}' || c == ':'; }

// The index of the quote that closes the string opened at `open`, or the
// text's size when it is never closed.
std::size_t string_end(std::string_view text, std::size_t open) {
  std::size_t at = open + 1;
  while (true) {
    const void* found = std::memchr(text.data() + at, '"', text.size() - at);
    if (found == nullptr) return text.size();
    const std::size_t quote = static_cast<const char*>(found) - text.data();
    std::size_t backslashes = 0;
    while (quote - backslashes > open + 1 && text[quote - backslashes - 1] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return quote;
    at = quote + 1;
  }
}

}  // namespace

std::vector<std::uint64_t> element_lines(std::string_view text, std::string_view member) {
  std::vector<std::uint64_t> lines;
  std::uint64_t line = 1;
  std::size_t depth = 0;
  std::size_t target = 0;       // the depth of the elements of the array looked at; 0 outside it
  bool root_object = false;     // the top-level value is an object
  bool want_element = false;    // the next value starts an element of the array looked at
  bool member_matches = false;  // the value at depth 1 belongs to `member`
  std::string_view last_key;    // the last string closed at depth 1 of the top-level object
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte-order mark
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      continue;
    }
    if (is_blank(c)) continue;
    switch (c) {
      case ',':
        if (depth == target) want_element = true;
        if (depth == 1 && root_object) member_matches = false;
        continue;
      case ':':
        if (depth == 1 && root_object) member_matches = last_key == member;
        continue;
      case ']':
      case '}':
        if (depth == target) {
          target = 0;
          want_element = false;
        }
        if (depth > 0) --depth;
        continue;
      default:
        break;
    }
    // The start of a value.
    if (want_element) {
      lines.push_back(line);
      want_element = false;
    }
    if (c == '[' || c == '{') {
      ++depth;
      if (depth == 1 && c == '{') root_object = true;
      const bool wanted = member.empty() ? depth == 1 : depth == 2 && root_object && member_matches;
      if (c == '[' && wanted) {
        lines.clear();
        target = depth;
        want_element = true;
      }
      continue;
    }
    if (c == '"') {
      const std::size_t end = string_end(text, i);
      if (depth == 1 && root_object) last_key = text.substr(i + 1, end - i - 1);
      i = end;
      continue;
    }
    while (i + 1 < text.size() && !ends_token(text[i + 1])) ++i;
  }
  return lines;
}

std::uint64_t first_value_line(std::string_view text) {
  std::uint64_t line = 1;
  for (const char c : text) {
    if (c == '\n') {
      ++line;
    } else if (!is_blank(c)) {
      break;
    }
  }
  return line;
}

}  // namespace vt
