// The one count rule: what each event of a timeline counts as (a prompt of
// one origin, an agent message, a tool call, tokens and their cost), so that
// the summary, the session reports and anyone summing the `Timeline`'s
// columns arrive at the same numbers. The rule, per session (provider and
// session id; events without a session form one group of their own):
//
// 1. A copy counts nowhere: an event with `copy_of` set, and an event of a
//    record (the agent's record id: `facts.record_id`, else a transcript
//    event's `source.source_id`) that is read at another place first. A
//    record's first place is its earliest outside any sub-agent (record type
//    "sidechain/…"), else its earliest; a place is (input, relative path,
//    line). Only events that could count take part.
// 2. Prompts (`prompt_input`, by `origin`, else as the full reading would
//    set it): one per record place, however many blocks the record has; it
//    is typed when any of its blocks is typed, else a command when any is,
//    else injected. A command's output (record type "…command_output") is
//    no prompt. Where a session's prompts are counted:
//    - the prompt history counts only for a session without prompts in its
//      own conversation outside sub-agents (the conversation holds them all);
//    - a session with user-message events (record type
//      "event_msg/user_message") counts its typed prompts there only (the
//      conversation item that repeats each is left out).
// 3. Agent messages: `agent_message` events; for Codex only the event
//    message ("event_msg/agent_message") or an older rollout's "message",
//    not the conversation item repeating it.
// 4. Tool calls: every `tool_call` event.
// 5. Tokens and cost: the `facts.usage` of an event (per-event amounts).
//
// Usage: build a CountRule over the events in timeline order (whole
// sessions: a session's context is learnt from all of its events), then ask
// it what event i counts as, or call `count_events` for the totals:
//
//   std::vector<const Event*> page = ...;  // one session's events
//   const Counts counts = count_events(page);
//   counts.typed_prompts, counts.tool_calls, counts.tokens.total(), ...
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/records.hpp"
#include "core/token_totals.hpp"

namespace vt {

enum class CountedAs : std::uint8_t { Nothing, TypedPrompt, InjectedPrompt, CommandPrompt, AgentMessage, ToolCall };

// What one event counts as: at most one of the kinds above, and whether
// its usage (tokens and cost) counts.
struct EventCount {
  CountedAs as = CountedAs::Nothing;
  bool usage = false;
  friend bool operator==(const EventCount&, const EventCount&) = default;
};

// Totals of counted events.
struct Counts {
  std::uint64_t typed_prompts = 0;
  std::uint64_t injected_prompts = 0;
  std::uint64_t command_prompts = 0;
  std::uint64_t agent_messages = 0;
  std::uint64_t tool_calls = 0;
  TokenTotals tokens;
  CostTotals cost;

  // Adds `event` as the rule counted it.
  void add(const Event& event, EventCount counted);
  // Adds what an event counted as, with `usage` (null: none) spent on `model`.
  void add(EventCount counted, const Usage* usage, const OptionalShared& model);
  void add(const Counts& other);
};

class CountRule {
 public:
  // `events` in timeline order; the rule keeps no reference to them.
  explicit CountRule(std::span<const Event> events);
  explicit CountRule(std::span<const Event* const> events);

  // What the i-th event counts as.
  EventCount operator[](std::size_t i) const { return counted_[i]; }
  std::size_t size() const { return counted_.size(); }

 private:
  std::vector<EventCount> counted_;
};

// The totals of `events` (timeline order, whole sessions) under the rule.
Counts count_events(std::span<const Event* const> events);
Counts count_events(std::span<const Event> events);

}  // namespace vt
