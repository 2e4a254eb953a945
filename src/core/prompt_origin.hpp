// Who wrote a prompt, by fixed rules over the records both agents write (the
// full reading sets the result on every `prompt_input` event):
// - a prompt-history line (any agent), or an input of Aider's chat log, is
//   a command when it is a slash command ("/" and a command name, alone or
//   followed by a blank: "/usage", "/model opus"; "/Users/x" is a path, so
//   typed) or a shell command ("!" first); otherwise typed;
// - a Codex conversation item of role user is injected when its text starts
//   with a block the harness writes (environment context, instructions files,
//   interruption notes, plugin lists), a command when it starts with a shell
//   command block, otherwise typed; a Codex user-message event is typed;
// - a Claude Code transcript prompt follows its record type: "user/text"
//   typed, "user/command" and "user/command_output" command,
//   "user/ide_context" (a selection or open file an IDE added) injected, any
//   sub-agent ("sidechain/") prompt injected (the parent agent wrote it).
#pragma once

#include <optional>

#include "core/records.hpp"

namespace vt {

// The origin of a `prompt_input` event by the rules above, from its
// provider, source and message; absent for any other event.
std::optional<PromptOrigin> prompt_origin(const Event& event);

// Whether a typed line is a slash command or a shell command by the
// prompt-history rule above (the other agents' readers ask it too).
bool is_command_text(std::string_view text);

}  // namespace vt
