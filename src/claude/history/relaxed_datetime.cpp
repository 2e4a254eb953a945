#include "claude/history/relaxed_datetime.hpp"

#include <string>

#include "core/rfc3339.hpp"
#include "jsonl/trim.hpp"

namespace vt::claude {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ends_with_utc(std::string_view text) {
  if (text.size() < 3) return false;
  const std::string_view tail = text.substr(text.size() - 3);
  return lower(tail[0]) == 'u' && lower(tail[1]) == 't' && lower(tail[2]) == 'c';
}

// "+hh:mm" ending `text`.
bool ends_with_colon_offset(std::string_view t) {
  const std::size_t n = t.size();
  return n >= 6 && is_sign(t[n - 6]) && is_digit(t[n - 5]) && is_digit(t[n - 4]) && t[n - 3] == ':' &&
         is_digit(t[n - 2]) && is_digit(t[n - 1]);
}

// "+hhmm" ending `text`.
bool ends_with_compact_offset(std::string_view t) {
  const std::size_t n = t.size();
  return n >= 5 && is_sign(t[n - 5]) && is_digit(t[n - 4]) && is_digit(t[n - 3]) && is_digit(t[n - 2]) &&
         is_digit(t[n - 1]);
}

}  // namespace

std::optional<Instant> parse_relaxed_datetime(std::string_view text) {
  std::string_view body = trim_line(text);
  std::string zone;
  if (ends_with_utc(body)) {
    body.remove_suffix(3);
    zone = "Z";
  } else if (!body.empty() && (body.back() == 'Z' || body.back() == 'z')) {
    body.remove_suffix(1);
    zone = "Z";
  } else if (ends_with_colon_offset(body)) {
    zone = body.substr(body.size() - 6);
    body.remove_suffix(6);
  } else if (ends_with_compact_offset(body)) {
    const std::string_view digits = body.substr(body.size() - 4);
    zone.append(1, body[body.size() - 5]).append(digits.substr(0, 2)).append(":").append(digits.substr(2));
    body.remove_suffix(5);
  } else {
    return std::nullopt;  // no zone: the instant would be a guess
  }
  while (!body.empty() && body.back() == ' ') body.remove_suffix(1);

  std::string normalized(body);
  normalized += zone;
  return parse_rfc3339(normalized);
}

}  // namespace vt::claude
