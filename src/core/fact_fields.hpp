// The facts of an event (`Event::facts`) as named fields, in the one order
// every rendering of the full reading gives them after `origin`: JSON and
// JSON lines members, CSV columns, Timesketch attributes and Timeline
// columns. A writer walks this list (`for_each_fact_field`) and renders each
// value by its type; a fact added to the core gets its line here and every
// rendering follows.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "core/records.hpp"

namespace vt {

// One named fact and how to read it off an event. `label` marks texts from a
// small vocabulary (model, tool, branch): columns encode them as a
// dictionary.
template <class Value>
struct FactField {
  std::string_view name;
  Value (*get)(const Event&);
  bool label = false;
};

using TextFact = FactField<const OptionalShared&>;
using CountFact = FactField<std::optional<std::uint64_t>>;
using IntegerFact = FactField<std::optional<std::int64_t>>;
using MoneyFact = FactField<std::optional<double>>;
using FlagFact = FactField<std::optional<bool>>;

namespace fact_detail {

template <std::optional<std::uint64_t> TokenAmounts::*Member>
std::optional<std::uint64_t> tokens(const Event& e) {
  return e.facts.usage ? e.facts.usage->tokens.*Member : std::nullopt;
}

template <std::optional<double> Usage::*Member>
std::optional<double> money(const Event& e) {
  return e.facts.usage ? (*e.facts.usage).*Member : std::nullopt;
}

}  // namespace fact_detail

inline constexpr std::tuple kFactFields{
    TextFact{"model", [](const Event& e) -> const OptionalShared& { return e.facts.model; }, true},
    CountFact{"input_tokens", &fact_detail::tokens<&TokenAmounts::input>},
    CountFact{"cache_write_tokens", &fact_detail::tokens<&TokenAmounts::cache_write>},
    CountFact{"cache_write_1h_tokens", &fact_detail::tokens<&TokenAmounts::cache_write_1h>},
    CountFact{"cache_read_tokens", &fact_detail::tokens<&TokenAmounts::cache_read>},
    CountFact{"output_tokens", &fact_detail::tokens<&TokenAmounts::output>},
    CountFact{"reasoning_tokens", &fact_detail::tokens<&TokenAmounts::reasoning>},
    MoneyFact{"cost_usd", &fact_detail::money<&Usage::cost_usd>},
    MoneyFact{"recorded_cost_usd", &fact_detail::money<&Usage::recorded_cost_usd>},
    TextFact{"tool_name", [](const Event& e) -> const OptionalShared& { return e.facts.tool_name; }, true},
    TextFact{"tool_call_id", [](const Event& e) -> const OptionalShared& { return e.facts.tool_call_id; }},
    TextFact{"tool_input", [](const Event& e) -> const OptionalShared& { return e.facts.tool_input; }},
    FlagFact{"tool_error", [](const Event& e) { return e.facts.tool_error; }},
    IntegerFact{"exit_code", [](const Event& e) { return e.facts.exit_code; }},
    TextFact{"record_id", [](const Event& e) -> const OptionalShared& { return e.facts.record_id; }},
    TextFact{"message_id", [](const Event& e) -> const OptionalShared& { return e.facts.message_id; }},
    TextFact{"parent_id", [](const Event& e) -> const OptionalShared& { return e.facts.parent_id; }},
    FlagFact{"sidechain", [](const Event& e) { return e.facts.sidechain; }},
    TextFact{"agent_id", [](const Event& e) -> const OptionalShared& { return e.facts.agent_id; }, true},
    TextFact{"git_branch", [](const Event& e) -> const OptionalShared& { return e.facts.git_branch; }, true},
    // Not facts of the record but of the run: the input the event was read
    // from, and on a copy the event counted in its stead.
    TextFact{"input", [](const Event& e) -> const OptionalShared& { return e.input; }, true},
    TextFact{"copy_of", [](const Event& e) -> const OptionalShared& { return e.copy_of; }},
};

inline constexpr std::size_t kFactFieldCount = std::tuple_size_v<decltype(kFactFields)>;

// Calls `visit(field)` for every fact field, in rendering order.
template <class Visit>
void for_each_fact_field(Visit&& visit) {
  std::apply([&visit](const auto&... field) { (visit(field), ...); }, kFactFields);
}

}  // namespace vt
