// Where the records of a saved chat (`checkpoint-<tag>.json`) belong. A
// saved chat holds no time and no session, but the prompt log of its folder
// holds its prompts with both, so:
// - each prompt of the chat, in the chat's order, is tied to the earliest
//   unused logged prompt of its folder with the same text, no earlier than
//   the one tied before; it takes that prompt's session and time
//   (`referenced_event`) and is marked a copy of it (so of the session's own
//   prompt where the log's is one);
// - every other record takes the session and time of the prompt tied last
//   before it (records before the first tied prompt, of that first one), so
//   a chat resumed in a later session follows it there, and the chat keeps
//   its order in the timeline;
// - a prompt, reply, call or result that the session's own file holds
//   (same type and text, or same call id) is marked a copy of it;
// - a saved chat none of whose prompts is logged keeps the file's time and
//   is a session of its own, "{project folder}/checkpoint-{tag}".
#pragma once

#include <vector>

#include "gemini_cli/copies.hpp"

namespace vt::gemini {

void place_saved_chats(std::vector<ReadFile>& files);

}  // namespace vt::gemini
