// The facts of a rollout's events (full reading), read from each record in
// the same pass as its event: the model of the turn, the session's git
// branch and, in a sub-agent's rollout, its agent path on every event; on a
// token count, what it used (the difference of its running totals from the
// file's previous ones; totals that went down started again, which the
// event's warnings say); on a tool call its name, call id and main argument;
// on a result its call id, the name of that call when the file named it
// before, its exit code and whether it failed.
//
// The same pass gives two events the text the full reading shows as their
// message: a result its output (a function's output text, unwrapped from
// the {"output", "metadata"} form; the text parts of an output given as a
// list; an exec end's aggregated output, else its stdout and stderr; an MCP
// result's text parts or error), and a reasoning item its summary (else its
// reasoning text). The documented reading gives a result's output only with
// content asked for, and no reasoning text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "codex/session_mapping.hpp"
#include "codex/session_state.hpp"
#include "core/repeated_texts.hpp"
#include "jsonl/line_json.hpp"

namespace vt::codex {

// A token count's running totals, as the rollout states them: `input`
// includes `cached_input`, `output` includes `reasoning`.
struct TokenTotals {
  std::optional<std::uint64_t> input, cached_input, output, reasoning;
};

// What one event used, given its totals and the previous ones (`reset` when
// a count went down: the amounts are then the totals themselves).
struct TokenStep {
  TokenAmounts amounts;
  bool reset = false;
};
TokenStep token_step(const std::optional<TokenTotals>& before, const TokenTotals& now);

// The files an apply_patch input names ("*** Update File: src/a.rs"),
// joined by ", "; absent when it names none.
std::optional<std::string> patch_files(std::string_view patch);

class SessionFacts {
 public:
  void fill(Event& event, const SessionRecord& record, const SessionFileState& state, RepeatedTexts& warnings);

 private:
  void token_count(Event& event, JsonView payload, RepeatedTexts& warnings);
  void tool_call(Facts& facts, const SessionRecord& record, JsonView payload);
  void tool_result(Event& event, JsonView payload);
  void reasoning(Event& event, JsonView payload);
  std::optional<std::string> main_argument(JsonView payload);

  std::optional<TokenTotals> totals_;
  RepeatedTexts tool_names_;
  // The name of each call this file made, by its id, for its result.
  std::unordered_map<std::string, SharedString> call_names_;
  // Arguments and outputs are JSON held in a string: read with their own parser.
  LineJsonParser inner_;
};

}  // namespace vt::codex
