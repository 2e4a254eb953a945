// What aider's status lines (`> …` in the chat log) say, by their fixed
// wording: the announcement a launch (or a model switch) prints, the model
// it names, the rounded token and cost figures of a `Tokens:` line, and
// the lines that report an error.
#pragma once

#include <optional>
#include <string_view>

#include "core/facts.hpp"

namespace vt::aider {

// "Aider v…", "Main model:", "Model:", "Weak model:", "Editor model:",
// "Git repo:", "Repo-map:".
bool is_announcement(std::string_view text);
// The model of a "Main model: <m> with <format> edit format…" or "Model: …" line.
std::optional<std::string_view> announced_model(std::string_view text);

bool is_tokens_line(std::string_view text);

// "Tokens: 3.2k sent, 1.1k cache write, 2.5k cache hit, 222 received.[ Cost:
// $0.0014 message, $0.0031 session.]": amounts as shown ("3.2k" is 3200, "1.5M"
// 1500000: aider rounds to one decimal below ten thousand and to whole
// thousands above, so the count it stood for lies within 50 or 500 of the
// figure), and the message's cost (the session's running sum is not kept:
// it adds nothing). Absent when no amount reads.
struct TokensLine {
  TokenAmounts amounts;
  std::optional<double> message_cost;
};
std::optional<TokensLine> parse_tokens_line(std::string_view text);

// A Python traceback's first line, or a line whose first word names an
// error or exception ("litellm.RateLimitError: …", "TypeError: …").
bool is_error_line(std::string_view text);

}  // namespace vt::aider
