// The one-line message of a tool call in a transcript: what the agent did,
// by tool name and main argument ("Bash: ls -la", "Edit: /src/main.cpp"),
// and that main argument alone (the call's `tool_input` fact). Which input
// members name the main argument is Claude Code's own; picking and showing
// it is every agent's (core/tool_call_text.hpp).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "jsonl/json_view.hpp"

namespace vt::claude {

// "{name}: {argument}" where the input names a command, file path, path,
// pattern, URL, query, description or prompt (the first of these present),
// line breaks and tabs shown as spaces; the name alone otherwise. A todo
// list (TodoWrite's `todos`) follows on lines of its own, one Markdown task
// item per todo ("- [x] done", "- [ ] next (in progress)"), at most
// kTodoLimit of them.
std::string tool_call_message(std::string_view name, const JsonView* input);

inline constexpr std::size_t kTodoLimit = 100;

// The main argument of that message alone, on one line and cut as there;
// absent when the input names none.
std::optional<std::string> tool_main_argument(const JsonView* input);

// The todo lines that message ends with ("" when the input has none).
std::string todo_lines(const JsonView* input);

}  // namespace vt::claude
