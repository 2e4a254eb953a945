// Aider's chat log (`.aider.chat.history.md`), read line by line (CRLF or LF,
// every line bounded by `max_line_size`) as a sequence of blocks:
// - `# aider chat started at <local time>`: a launch, one `session_start`
//   (the only time the file holds; see local_time.hpp);
// - `#### ` lines ending in two blanks (aider's hard line break): the
//   person's input, consecutive lines one `prompt_input` (a slash command
//   of `command` origin; an input that repeats the agent text just before it
//   is the architect's plan handed to the editor model, `injected`);
// - `> ` lines: status, a run of them split into the announcement (one
//   `task_state`, naming the model: `Main model:` / `Model:`, again at a
//   switch inside a launch), each `Tokens:` line (one `token_usage` with
//   the rounded amounts and the message's cost as the agent's recorded
//   figure), and the other lines between them (one `task_state`, or
//   `error` when a line reports one);
// - every other line model output: a run of it one `agent_message`, edit
//   blocks kept in the text as written, a `<thinking-content-…>` block one
//   `agent_reasoning` (its tags kept).
// Blank lines only separate blocks (inside model output they are kept).
// Lines before the first launch header are not aider's chat as far as can be
// told: one diagnostic names them, unread.
#pragma once

#include <filesystem>
#include <vector>

#include "aider/local_time.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::aider {

struct Launch {
  std::optional<LocalTime> start;
  std::size_t first_event = 0;  // its `session_start` in the file's events
};

struct ChatLog {
  FileRecords records;  // events in file order, their times not yet filled
  std::vector<Launch> launches;
};

Result<ChatLog> read_chat_log(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                              const ParseOptions& options);

// Gives every event without a time the time before it in the file (the
// launch's, or a prompt's or reply's matched in another file), as a
// referenced time.
void fill_times(std::vector<Event>& events);

}  // namespace vt::aider
