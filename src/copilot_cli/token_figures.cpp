#include "copilot_cli/token_figures.hpp"

#include "copilot_cli/copilot_event.hpp"
#include "jsonl/fields.hpp"

namespace vt::copilot {

TokenAmounts stated_amounts(JsonView usage) {
  TokenAmounts amounts;
  const auto detail = [&](std::string_view key) -> std::optional<std::uint64_t> {
    const FieldRef item = get_object(usage, key);
    return item ? count_of(*item, "tokenCount") : std::nullopt;
  };
  amounts.input = count_of(usage, "inputTokens");
  if (!amounts.input) amounts.input = detail("input");
  amounts.output = count_of(usage, "outputTokens");
  if (!amounts.output) amounts.output = detail("output");
  amounts.cache_read = count_of(usage, "cacheReadTokens");
  if (!amounts.cache_read) amounts.cache_read = detail("cache_read");
  amounts.cache_write = count_of(usage, "cacheWriteTokens");
  if (!amounts.cache_write) amounts.cache_write = detail("cache_write");
  amounts.reasoning = count_of(usage, "reasoningTokens");
  return amounts;
}

std::string amounts_text(std::string_view model, const TokenAmounts& amounts) {
  std::string text(model);
  text += ":";
  const std::pair<const char*, const std::optional<std::uint64_t>*> parts[] = {
      {"input", &amounts.input},
      {"cache read", &amounts.cache_read},
      {"cache write", &amounts.cache_write},
      {"output", &amounts.output},
      {"reasoning", &amounts.reasoning}};
  bool first = true;
  for (const auto& [label, value] : parts) {
    if (!*value) continue;
    text += first ? " " : ", ";
    first = false;
    text += label;
    text += ' ';
    text += std::to_string(**value);
  }
  return text;
}

}  // namespace vt::copilot
