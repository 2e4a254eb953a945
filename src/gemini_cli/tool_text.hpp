// The texts of Gemini CLI tool calls and results as events show them: a
// call as "{name}: {main argument}", a result as the text of its function
// response, and the prompt origin of a user text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/enums.hpp"
#include "jsonl/json_view.hpp"

namespace vt::gemini {

// The call's main argument on one line (command, file path, pattern, query,
// URL, prompt, question, path, folder, or the first of several paths), cut
// as every agent's is (core/tool_call_text.hpp); absent when the arguments
// name none.
std::optional<std::string> call_argument(const JsonView* args);

// The text of a function response's `response`: its `output`, else its
// `error`, else the response as compact JSON.
std::optional<std::string> response_text(const JsonView* response);

// The text of a list of parts: text parts and function responses, one per
// line; absent when none has text.
std::optional<std::string> parts_text(const JsonView* parts);

// Who wrote a user text: the harness when it opens with the session context
// Gemini CLI sends first (or the files an `@` reference pulls in), the person
// through a command when it is a slash or shell command, else the person.
PromptOrigin user_text_origin(std::string_view text);

}  // namespace vt::gemini
