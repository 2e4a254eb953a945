// The one-line message of a tool call in a transcript: what the agent did,
// by tool name and main argument ("Bash: ls -la", "Edit: /src/main.cpp").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "jsonl/json_view.hpp"

namespace vt::claude {

// Longest main argument kept in a tool call's message, in characters; a
// longer one is cut there and ends with "…".
inline constexpr std::size_t kToolArgumentLimit = 200;

// "{name}: {argument}" where the input names a command, file path, path,
// pattern, URL, query, description or prompt (the first of these present),
// line breaks and tabs shown as spaces; the name alone otherwise. A todo
// list (TodoWrite's `todos`) follows on lines of its own, one Markdown task
// item per todo ("- [x] done", "- [ ] next (in progress)"), at most
// kTodoLimit of them.
std::string tool_call_message(std::string_view name, const JsonView* input);

inline constexpr std::size_t kTodoLimit = 100;

// `text` cut after `limit` characters (code points), "…" marking the cut.
std::string cut_text(std::string_view text, std::size_t limit);

}  // namespace vt::claude
