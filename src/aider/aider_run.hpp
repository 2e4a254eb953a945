// Reading an Aider place (its files read, then tied together) or one of its
// files on its own. Within a place:
// - each entry of the input history is matched to the chat's input it
//   repeats: the first input not matched before, in the launch its time
//   falls in (local times compared as written), whose text is the same
//   (lines' trailing blanks and surrounding blank lines aside); the chat's
//   input takes the entry's time, and the entry is kept as its copy
//   (`copy_of`). An entry that matches nothing stands on its own, in the
//   session of its launch;
// - each reply of the LLM log is matched the same way to the chat's agent
//   message it repeats, which takes the reply's time; the reply is kept as
//   its copy;
// - the chat's other events take the time before them in the file.
// A file of a place that cannot be opened is a diagnostic; a file named on
// its own that cannot be opened ends the run.
#pragma once

#include <filesystem>

#include "core/adapter.hpp"

namespace vt::aider {

Result<AdapterOutput> read_place(const std::filesystem::path& dir, const std::filesystem::path& base_dir,
                                 const ParseOptions& options);
Result<AdapterOutput> read_file(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                const ParseOptions& options);

}  // namespace vt::aider
