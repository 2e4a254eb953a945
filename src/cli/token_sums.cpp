#include "cli/token_sums.hpp"

#include <algorithm>
#include <functional>
#include <tuple>

namespace vt::cli {

namespace {

using Member = std::optional<std::uint64_t> TokenSums::*;
constexpr Member kMembers[] = {&TokenSums::input,  &TokenSums::cached_input, &TokenSums::cache_write,
                               &TokenSums::output, &TokenSums::reasoning,    &TokenSums::total};

std::optional<std::uint64_t> count_at(const Json& usage, const char* name) {
  const auto found = usage.find(name);
  if (found == usage.end() || !found->is_number_unsigned()) return std::nullopt;
  return found->get<std::uint64_t>();
}

// The running totals of a Codex token-count record held raw.
std::optional<UsageText> raw_running_totals(const Json& raw) {
  if (!raw.is_object()) return std::nullopt;
  const auto payload = raw.find("payload");
  if (payload == raw.end() || !payload->is_object()) return std::nullopt;
  const auto info = payload->find("info");
  if (info == payload->end() || !info->is_object()) return std::nullopt;
  const auto usage = info->find("total_token_usage");
  if (usage == info->end() || !usage->is_object()) return std::nullopt;
  UsageText text;
  text.running_totals = true;
  text.counts = TokenCounts{count_at(*usage, "input_tokens"), std::nullopt, count_at(*usage, "cached_input_tokens"),
                            count_at(*usage, "output_tokens"), count_at(*usage, "reasoning_output_tokens"),
                            count_at(*usage, "total_tokens")};
  return text;
}

std::optional<std::uint64_t> plus(std::optional<std::uint64_t> a, std::optional<std::uint64_t> b) {
  if (!a) return b;
  if (!b) return a;
  return *a + *b;
}

// A Claude Code message's counts in the summary's kinds.
TokenSums message_sums(const TokenCounts& c) {
  TokenSums sums;
  sums.input = plus(plus(c.input, c.cache_write), c.cached_input);
  sums.cached_input = c.cached_input;
  sums.cache_write = c.cache_write;
  sums.output = c.output;
  if (sums.input || sums.output) sums.total = plus(sums.input, sums.output);
  return sums;
}

TokenSums running_sums(const TokenCounts& c) {
  TokenSums sums;
  sums.input = c.input;
  sums.cached_input = c.cached_input;
  sums.output = c.output;
  sums.reasoning = c.reasoning;
  sums.total = c.total;
  return sums;
}

// What grew from `before` to `now`; all of `now` when any count went down.
TokenSums growth(const TokenSums& before, const TokenSums& now) {
  for (const Member m : kMembers) {
    if ((before.*m) && (now.*m) && *(now.*m) < *(before.*m)) return now;
  }
  TokenSums grown;
  for (const Member m : kMembers) {
    if (!(now.*m)) continue;
    grown.*m = *(now.*m) - (before.*m).value_or(0);
  }
  return grown;
}

std::uint64_t hashed(std::string& key) { return std::hash<std::string>{}(key); }

}  // namespace

void TokenSums::add(const TokenSums& other) {
  for (const Member m : kMembers) this->*m = plus(this->*m, other.*m);
}

std::optional<UsageText> event_usage(const Event& event) {
  if (event.event_type != EventType::TokenUsage) return std::nullopt;
  if (event.message) {
    if (auto usage = parse_usage_text(*event.message)) return usage;
  }
  if (event.provider == Provider::Codex && event.raw) return raw_running_totals(*event.raw);
  return std::nullopt;
}

std::vector<TokenShare> token_shares(const std::vector<Event>& events) {
  // Claude Code messages: (message hash, position); Codex totals: (session
  // hash, path, line, position).
  std::vector<std::pair<std::uint64_t, std::size_t>> messages;
  std::vector<std::tuple<std::uint64_t, std::string_view, std::uint64_t, std::size_t>> totals;
  std::vector<TokenShare> shares;
  std::string key;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Event& e = events[i];
    if (e.event_type != EventType::TokenUsage) continue;
    const auto usage = event_usage(e);
    if (!usage) continue;
    key.assign(e.session_id ? std::string_view(*e.session_id) : std::string_view()).push_back('\0');
    if (usage->running_totals) {
      totals.emplace_back(hashed(key), e.source.relative_path.str(), e.source.line_number.value_or(0), i);
    } else if (e.session_id && e.source.source_id) {
      key.append(*e.source.source_id);
      messages.emplace_back(hashed(key), i);
    } else {
      shares.push_back(TokenShare{i, message_sums(usage->counts)});  // nothing to match it by
    }
  }

  std::sort(messages.begin(), messages.end());
  for (std::size_t start = 0; start < messages.size();) {
    std::size_t end = start + 1;
    while (end < messages.size() && messages[end].first == messages[start].first) ++end;
    TokenCounts largest;
    for (std::size_t k = start; k < end; ++k) {
      const TokenCounts counts = event_usage(events[messages[k].second])->counts;
      for (const auto m : {&TokenCounts::input, &TokenCounts::cache_write, &TokenCounts::cached_input,
                           &TokenCounts::output}) {
        if (counts.*m && (!(largest.*m) || *(counts.*m) > *(largest.*m))) largest.*m = counts.*m;
      }
    }
    shares.push_back(TokenShare{messages[start].second, message_sums(largest)});
    start = end;
  }

  std::sort(totals.begin(), totals.end());
  for (std::size_t k = 0; k < totals.size(); ++k) {
    const auto& [session, path, line, index] = totals[k];
    const TokenSums now = running_sums(event_usage(events[index])->counts);
    const bool continues = k > 0 && std::get<0>(totals[k - 1]) == session;
    const TokenSums added =
        continues ? growth(running_sums(event_usage(events[std::get<3>(totals[k - 1])])->counts), now) : now;
    shares.push_back(TokenShare{index, added});
  }
  std::sort(shares.begin(), shares.end(), [](const TokenShare& a, const TokenShare& b) { return a.event < b.event; });
  return shares;
}

InterimUsage::InterimUsage(const std::vector<Event>& events) : events_(events) {
  for (const TokenShare& share : token_shares(events)) {
    if (events[share.event].facts.usage) continue;  // the facts say it
    const TokenSums& sums = share.sums;
    Usage usage;
    std::uint64_t cached = sums.cached_input.value_or(0) + sums.cache_write.value_or(0);
    if (sums.input) usage.tokens.input = *sums.input - std::min(*sums.input, cached);
    usage.tokens.cache_read = sums.cached_input;
    usage.tokens.cache_write = sums.cache_write;
    usage.tokens.output = sums.output;
    usage.tokens.reasoning = sums.reasoning;
    usage_.emplace(share.event, usage);
  }
}

const Usage* InterimUsage::usage_of(std::size_t i) const {
  const auto found = usage_.find(i);
  return found == usage_.end() ? nullptr : &found->second;
}

std::optional<std::string> InterimUsage::model_of(std::size_t i) const {
  const auto usage = event_usage(events_[i]);
  return usage ? usage->model : std::nullopt;
}

}  // namespace vt::cli
