#include "output/session_report/token_counts.hpp"

#include <array>
#include <charconv>
#include <cstdio>

#include "output/session_report/raw_fields.hpp"

namespace vt::report {

namespace {

using Part = std::optional<std::uint64_t> Tokens::*;

void add_part(std::optional<std::uint64_t>& to, const std::optional<std::uint64_t>& from) {
  if (from) to = to.value_or(0) + *from;
}

std::optional<std::uint64_t> less(const std::optional<std::uint64_t>& later,
                                  const std::optional<std::uint64_t>& earlier) {
  if (!later) return std::nullopt;
  const std::uint64_t base = earlier.value_or(0);
  return *later >= base ? *later - base : 0;
}

constexpr std::array<std::pair<std::string_view, Part>, 6> kShown = {{
    {"input", &Tokens::input},
    {"cache write", &Tokens::cache_write},
    {"cache read", &Tokens::cache_read},
    {"output", &Tokens::output},
    {"reasoning", &Tokens::reasoning},
    {"total", &Tokens::total},
}};

}  // namespace

std::uint64_t Tokens::sum() const {
  if (total) return *total;
  return input.value_or(0) + cache_write.value_or(0) + cache_read.value_or(0) + output.value_or(0);
}

Tokens& Tokens::operator+=(const Tokens& other) {
  for (const auto& [name, part] : kShown) add_part(this->*part, other.*part);
  if (other.cost_usd) cost_usd = cost_usd.value_or(0) + *other.cost_usd;
  return *this;
}

std::optional<Tokens> event_tokens(const Event& event) {
  if (!event.facts.usage) return std::nullopt;
  const Usage& usage = *event.facts.usage;
  Tokens tokens;
  tokens.input = usage.tokens.input;
  tokens.cache_write = usage.tokens.cache_write;
  tokens.cache_read = usage.tokens.cache_read;
  tokens.output = usage.tokens.output;
  tokens.reasoning = usage.tokens.reasoning;
  tokens.cost_usd = usage.cost_usd;
  return tokens;
}

std::string cost_text(double usd) {
  char text[32];
  std::snprintf(text, sizeof text, usd != 0 && usd < 0.01 ? "$%.4f" : "$%.2f", usd);
  return text;
}

Tokens Tokens::difference(const Tokens& later, const Tokens& earlier) {
  Tokens out;
  for (const auto& [name, part] : kShown) out.*part = less(later.*part, earlier.*part);
  return out;
}

std::string grouped(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string tokens_text(const Tokens& tokens) {
  std::string out;
  for (const auto& [name, part] : kShown) {
    if (!(tokens.*part)) continue;
    if (!out.empty()) out += " \xC2\xB7 ";
    out += name;
    out += ' ';
    out += grouped(*(tokens.*part));
  }
  return out;
}

std::optional<UsageMessage> parse_usage_message(std::string_view message) {
  static constexpr std::array<std::pair<std::string_view, Part>, 4> kLabels = {{
      {"input ", &Tokens::input},
      {"cache write ", &Tokens::cache_write},
      {"cache read ", &Tokens::cache_read},
      {"output ", &Tokens::output},
  }};
  UsageMessage usage;
  // The model comes first, before ": ", unless the counts start the text.
  if (const auto colon = message.find(": "); colon != std::string_view::npos) {
    usage.model = std::string(message.substr(0, colon));
    message.remove_prefix(colon + 2);
  }
  bool any = false;
  while (!message.empty()) {
    const auto comma = message.find(", ");
    const std::string_view piece = message.substr(0, comma);
    for (const auto& [label, part] : kLabels) {
      if (!piece.starts_with(label)) continue;
      const std::string_view digits = piece.substr(label.size());
      std::uint64_t value = 0;
      const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (error == std::errc() && end == digits.data() + digits.size()) {
        usage.tokens.*part = value;
        any = true;
      }
    }
    if (comma == std::string_view::npos) break;
    message.remove_prefix(comma + 2);
  }
  if (!any) return std::nullopt;
  return usage;
}

std::optional<Tokens> codex_running_totals(const Json& raw) {
  const Json* payload = object_member(&raw, "payload");
  const Json* info = object_member(payload, "info");
  const Json* usage = object_member(info, "total_token_usage");
  if (usage == nullptr) return std::nullopt;
  Tokens tokens;
  tokens.input = count_member(usage, "input_tokens");
  tokens.cache_read = count_member(usage, "cached_input_tokens");
  tokens.output = count_member(usage, "output_tokens");
  tokens.reasoning = count_member(usage, "reasoning_output_tokens");
  tokens.total = count_member(usage, "total_tokens");
  if (!tokens.any()) return std::nullopt;
  return tokens;
}

}  // namespace vt::report
