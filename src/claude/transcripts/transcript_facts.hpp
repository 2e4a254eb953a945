// The facts of a Claude Code transcript's events (full reading), read from
// the record the events come from, in the same pass: the record's own ids
// and place in the agent's chain, its branch and sub-agent, the model and
// API message of an assistant record, a tool call's name, id and main
// argument, a result's call id (and the name of that call, when the file
// named it before) and error flag, and an API message's token amounts.
#pragma once

#include <string>
#include <unordered_map>

#include "core/facts.hpp"
#include "core/repeated_texts.hpp"
#include "jsonl/fields.hpp"

namespace vt::claude {

// The envelope members a record's facts come from (any may be missing).
struct FactMembers {
  FieldRef uuid, parent, sidechain, agent, branch, cost;
};

class TranscriptFacts {
 public:
  // What every event of a record shares; `message` is the record's message
  // object (its `model` and `id` name the answering model and API message),
  // or null.
  Facts record_facts(const FactMembers& members, const OptionalShared& record_id, const FieldRef& message);

  // A `tool_use` (or `server_tool_use`) block: its name, id and main argument.
  void tool_call(Facts& facts, JsonView block, std::optional<std::string> argument);
  // A `tool_result` (or `*_tool_result`) block: its call's id and name, and
  // whether it failed (`is_error`; a user's result without one did not).
  void tool_result(Facts& facts, JsonView block, bool from_user);

  // An API message's `usage`: the counts it holds as whole numbers, and the
  // record's own `costUSD` (older versions) when it is a number.
  static Usage usage(JsonView usage, const FieldRef& cost);

 private:
  OptionalShared label(const FieldRef& field);

  RepeatedTexts labels_;      // models, branches, sub-agent ids
  RepeatedTexts tool_names_;
  // The name of each call this file made, by its id, for its result.
  std::unordered_map<std::string, SharedString> call_names_;
};

}  // namespace vt::claude
