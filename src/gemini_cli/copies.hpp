// Copies among the Gemini CLI records of one run, marked (`Event::copy_of`,
// the id of the event counted in their stead) and never dropped:
// - a message written again in the same run of its file (a reply re-appended
//   once its tool calls finished): the last copy counts;
// - a file identical to one read before it (a session kept under both its
//   project's hash folder and its named folder): the first in path order
//   counts, event for event; otherwise a session's start or message read
//   before in another file (same session, id and time) counts there;
// - a prompt-log entry that a session holds as its own prompt (same session
//   and text, within ten minutes): the session's prompt counts;
// - a shell-history line that the prompt log of its folder holds as "!"
//   and the line: the log's prompt (or what it is a copy of) counts.
// An event of a copy stands for the event of the counted record with the
// same record type and position among the record's events of that type; an
// event with no such counterpart stays counted.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "gemini_cli/file_readers.hpp"

namespace vt::gemini {

struct ReadFile {
  std::filesystem::path path;
  FileRole role;
  std::string folder;  // the folder it belongs to (for the shell history)
  FileRead read;
};

// Marks every kind of copy above over the files of one run, in path order,
// then places the saved chats (saved_chats.hpp).
void mark_copies(std::vector<ReadFile>& files);

// Marks `copy` a copy of `counted` (of what `counted` is a copy of, if it is one).
void mark_copy(Event& copy, const Event& counted);

}  // namespace vt::gemini
