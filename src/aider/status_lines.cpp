#include "aider/status_lines.hpp"

#include <array>
#include <charconv>
#include <string>

namespace vt::aider {

namespace {

constexpr std::array<std::string_view, 8> kAnnouncements = {
    "Aider v", "Main model:", "Model:", "Models:", "Weak model:", "Editor model:", "Git repo:", "Repo-map:"};

// "3.2k" / "222" / "1.5M" at the front of `text`: the amount and the rest.
std::optional<std::uint64_t> read_amount(std::string_view& text) {
  std::size_t end = 0;
  while (end < text.size() && ((text[end] >= '0' && text[end] <= '9') || text[end] == '.')) ++end;
  if (end == 0) return std::nullopt;
  double value = 0;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + end, value);
  if (error != std::errc() || stop != text.data() + end || value < 0) return std::nullopt;
  double scale = 1;
  if (end < text.size() && (text[end] == 'k' || text[end] == 'K')) {
    scale = 1e3;
    ++end;
  } else if (end < text.size() && text[end] == 'M') {
    scale = 1e6;
    ++end;
  }
  const double amount = value * scale + 0.5;
  if (!(amount < 1.8e19)) return std::nullopt;
  text.remove_prefix(end);
  return static_cast<std::uint64_t>(amount);
}

}  // namespace

bool is_announcement(std::string_view text) {
  for (const std::string_view prefix : kAnnouncements) {
    if (text.starts_with(prefix)) return true;
  }
  return false;
}

std::optional<std::string_view> announced_model(std::string_view text) {
  // Older versions said "Models: <main> with <format> edit format, weak
  // model <weak>" and "Model: <main> using <format> edit format".
  for (const std::string_view prefix : {"Main model: ", "Model: ", "Models: "}) {
    if (!text.starts_with(prefix)) continue;
    text.remove_prefix(prefix.size());
    for (const std::string_view joint : {" with ", " using "}) {
      const std::size_t at = text.find(joint);
      if (at != std::string_view::npos) text = text.substr(0, at);
    }
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    return text;
  }
  return std::nullopt;
}

bool is_tokens_line(std::string_view text) { return text.starts_with("Tokens: "); }

std::optional<TokensLine> parse_tokens_line(std::string_view text) {
  if (!is_tokens_line(text)) return std::nullopt;
  text.remove_prefix(8);
  TokensLine line;
  bool any = false;
  // Items "<amount> <label>", separated by ", ", the last ending in '.'.
  while (true) {
    const std::optional<std::uint64_t> amount = read_amount(text);
    if (!amount || !text.starts_with(' ')) break;
    text.remove_prefix(1);
    const std::size_t end = text.find_first_of(",.");
    const std::string_view label = text.substr(0, end);
    if (label == "sent") line.amounts.input = amount;
    else if (label == "received") line.amounts.output = amount;
    else if (label == "cache write") line.amounts.cache_write = amount;
    else if (label == "cache hit") line.amounts.cache_read = amount;
    else break;
    any = true;
    if (end == std::string_view::npos) break;
    const bool last = text[end] == '.';
    text.remove_prefix(end + 1);
    if (text.starts_with(' ')) text.remove_prefix(1);
    if (last) break;
  }
  if (!any) return std::nullopt;
  if (const std::size_t cost = text.find("Cost: $"); cost != std::string_view::npos) {
    std::string_view rest = text.substr(cost + 7);
    std::size_t end = 0;
    while (end < rest.size() && ((rest[end] >= '0' && rest[end] <= '9') || rest[end] == '.')) ++end;
    double value = 0;
    const auto [stop, error] = std::from_chars(rest.data(), rest.data() + end, value);
    if (end > 0 && error == std::errc() && stop == rest.data() + end && rest.substr(end).starts_with(" message")) {
      line.message_cost = value;
    }
  }
  return line;
}

bool is_error_line(std::string_view text) {
  if (text.starts_with("Traceback (most recent call last)")) return true;
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const std::string_view word = text.substr(0, colon);
  if (word.find(' ') != std::string_view::npos) return false;
  return word.ends_with("Error") || word.ends_with("Exception");
}

}  // namespace vt::aider
