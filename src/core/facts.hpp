// The facts of an event that people count and join on: the model, the token
// amounts and what they cost, the tool a call names and the id that ties its
// result to it, the agent's own record ids. Defined once here, filled by the
// agents' readers while they read (full reading only), and rendered by every
// writer from this one definition, after the documented fields. Nothing
// downstream reads them out of raw records again.
#pragma once

#include <cstdint>
#include <optional>

#include "core/boxed.hpp"
#include "core/optional_shared.hpp"

namespace vt {

// Token amounts of one event: what this event used, never a running total
// (a reader that only sees totals gives the difference to the previous one).
// Absent where the record says nothing of that kind.
struct TokenAmounts {
  std::optional<std::uint64_t> input;        // fresh input, cache excluded
  std::optional<std::uint64_t> cache_write;  // input written to the prompt cache
  std::optional<std::uint64_t> cache_read;   // input read from the prompt cache
  std::optional<std::uint64_t> output;       // output, reasoning included where the agent counts it so
  std::optional<std::uint64_t> reasoning;    // the part of the output spent on reasoning, when said
  std::optional<std::uint64_t> cache_write_1h;  // the part of cache_write kept for an hour (priced apart)

  bool any() const { return input || cache_write || cache_write_1h || cache_read || output || reasoning; }
  friend bool operator==(const TokenAmounts&, const TokenAmounts&) = default;
};

// What a `token_usage` (or other token-carrying) event used and cost.
struct Usage {
  TokenAmounts tokens;
  // Estimated from the price table for `Facts::model`; absent when the model
  // has no price.
  std::optional<double> cost_usd;
  // The agent's own figure, when a record states one (kept apart from the
  // estimate, never mixed into it).
  std::optional<double> recorded_cost_usd;

  friend bool operator==(const Usage&, const Usage&) = default;
};

struct Facts {
  OptionalShared model;         // the model that produced the message or the usage
  OptionalShared tool_name;     // tool_call / tool_result: the tool's name
  OptionalShared tool_call_id;  // tool_call and its tool_result: the agent's call id
  OptionalShared tool_input;    // tool_call: its main argument (command, path, pattern…), one line
  OptionalShared record_id;     // the agent's own id of the record (uuid)
  OptionalShared message_id;    // the API message the record belongs to
  OptionalShared parent_id;     // the record this one follows in the agent's chain
  OptionalShared agent_id;      // the sub-agent the record belongs to (sidechain)
  OptionalShared git_branch;    // the branch the agent worked on, where a record says
  Boxed<Usage> usage;           // tokens and cost, on events that carry them
  std::optional<std::int64_t> exit_code;  // tool_result: the command's exit status
  std::optional<bool> tool_error;         // tool_result: whether the call failed
  std::optional<bool> sidechain;          // whether the record belongs to a sub-agent's thread, where said
};

}  // namespace vt
