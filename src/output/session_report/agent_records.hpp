// What the report needs of an event beyond its own fields: a Codex tool
// call's main argument and its output, reasoning summaries, models and git
// branches, and the ids that tie a tool result to its call. Each is read
// from the event's facts when the reading filled them (the full reading),
// else from the agent's raw record; the raw reading is what goes once every
// reader fills the facts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/records.hpp"

namespace vt::report {

// The Codex payload of a raw record (older rollouts have none: the record
// itself), or null.
const Json* codex_payload(const Event& event);

// "{tool}: {main argument}" of a Codex tool call, from its raw record; the
// event's message when the record is not kept.
std::string codex_call_line(const Event& event);

// The text of a Codex tool output, and its exit code when the record says.
struct ToolOutput {
  std::string text;
  std::optional<std::int64_t> exit_code;
  bool failed = false;
};
std::optional<ToolOutput> codex_tool_output(const Event& event);

// A Codex call id: the event's source id, or the raw record's `call_id`.
std::optional<std::string> codex_call_id(const Event& event);

// The summary text of a Codex reasoning item, from its raw record.
std::optional<std::string> codex_reasoning_text(const Event& event);

// The text of a Codex message item (its content parts joined).
std::optional<std::string> codex_message_text(const Event& event);

// Text a Codex client injects as a user message (environment, instructions,
// IDE context), recognised by how it starts.
bool codex_injected_text(std::string_view text);

std::optional<std::string> codex_model(const Event& event);
std::optional<std::string> codex_git_branch(const Event& event);

// The `id` (for `tool_use` blocks) or `tool_use_id` (for results) of the
// `nth` block of a Claude Code record whose type `matches`.
std::optional<std::string> claude_block_id(const Event& event, std::size_t nth, bool results);
std::optional<std::string> claude_git_branch(const Event& event);

}  // namespace vt::report
