// A tool call's main argument as the facts and messages show it: on one
// line, cut after a bound number of characters with "…" marking the cut.
// Shared by every agent's reader, so that arguments read alike whatever the
// agent.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vt {

// Longest main argument kept, in characters; a longer one is cut there and
// ends with "…".
inline constexpr std::size_t kToolArgumentLimit = 200;

// `text` cut after `limit` characters (code points), "…" marking the cut.
std::string cut_text(std::string_view text, std::size_t limit);

// `text` with line breaks and tabs shown as spaces, cut after
// kToolArgumentLimit characters.
std::string one_line_argument(std::string_view text);

}  // namespace vt
