#include "core/usage_text.hpp"

#include <array>
#include <charconv>

namespace vt {

namespace {

constexpr std::string_view kRunningTotals = "session totals";

using Member = std::optional<std::uint64_t> TokenCounts::*;

struct Label {
  std::string_view text;
  Member member;
};

constexpr std::array<Label, 4> kClaudeLabels = {{{"input", &TokenCounts::input},
                                                 {"cache write", &TokenCounts::cache_write},
                                                 {"cache read", &TokenCounts::cached_input},
                                                 {"output", &TokenCounts::output}}};

constexpr std::array<Label, 5> kCodexLabels = {{{"input", &TokenCounts::input},
                                                {"cached input", &TokenCounts::cached_input},
                                                {"output", &TokenCounts::output},
                                                {"reasoning", &TokenCounts::reasoning},
                                                {"total", &TokenCounts::total}}};

// "label N, label N, …" with labels of `labels` in their order, each at
// most once; an empty text is an empty list.
template <std::size_t N>
std::optional<TokenCounts> parse_counts(std::string_view text, const std::array<Label, N>& labels) {
  TokenCounts counts;
  std::size_t next_label = 0;
  while (!text.empty()) {
    const std::size_t comma = text.find(", ");
    const std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 2);
    if (comma != std::string_view::npos && text.empty()) return std::nullopt;
    const std::size_t blank = item.rfind(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const std::string_view label = item.substr(0, blank), digits = item.substr(blank + 1);
    while (next_label < labels.size() && labels[next_label].text != label) ++next_label;
    if (next_label == labels.size() || digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    counts.*(labels[next_label].member) = value;
    ++next_label;
  }
  return counts;
}

}  // namespace

std::string codex_usage_text(const std::optional<std::string>& model, const TokenCounts& totals) {
  std::string text;
  if (model) text.append(*model).append(": ");
  text.append(kRunningTotals).append(": ");
  bool first = true;
  for (const Label& label : kCodexLabels) {
    const auto& count = totals.*(label.member);
    if (!count) continue;
    if (!first) text.append(", ");
    first = false;
    text.append(label.text).append(" ").append(std::to_string(*count));
  }
  return text;
}

std::optional<UsageText> parse_usage_text(std::string_view text) {
  UsageText usage;
  std::string_view list = text;
  // The counts hold no ": ", so the last one ends the prefix.
  if (const std::size_t colon = text.rfind(": "); colon != std::string_view::npos) {
    std::string_view prefix = text.substr(0, colon);
    list = text.substr(colon + 2);
    const std::string model_suffix = ": " + std::string(kRunningTotals);
    if (prefix == kRunningTotals) {
      usage.running_totals = true;
    } else if (prefix.ends_with(model_suffix)) {
      usage.running_totals = true;
      usage.model = std::string(prefix.substr(0, prefix.size() - model_suffix.size()));
    } else {
      usage.model = std::string(prefix);
    }
  }
  const auto counts = usage.running_totals ? parse_counts(list, kCodexLabels) : parse_counts(list, kClaudeLabels);
  if (!counts) return std::nullopt;
  usage.counts = *counts;
  return usage;
}

}  // namespace vt
