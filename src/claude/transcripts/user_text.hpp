// Who wrote the text of a transcript's user record: the person (a typed
// prompt), the person through a slash or local command (its wrapper, and
// apart its output), the IDE extension (the selection or open file it adds
// as a block of its own), or the agent's harness (meta records, system
// reminders, caveats, interruption notes). Decided by documented markers at
// the text's start.
#pragma once

#include <string_view>

namespace vt::claude {

enum class UserTextOrigin { Typed, Command, CommandOutput, IdeContext, Injected };

UserTextOrigin user_text_origin(std::string_view text, bool is_meta);

// The record type an event of that origin carries: "user/text",
// "user/command", "user/command_output", "user/ide_context" or "user/meta".
std::string_view user_text_kind(UserTextOrigin origin);

}  // namespace vt::claude
