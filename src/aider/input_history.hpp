// Aider's input history (`.aider.input.history`, prompt_toolkit's file):
// entries `# <local date and time with microseconds>` followed by the input's
// lines, each written `+<line>`. Every entry is one `prompt_input` of the
// prompt history (a slash command of `command` origin) at its own time
// (local, see local_time.hpp); a line that is neither is diagnosed.
#pragma once

#include <filesystem>
#include <vector>

#include "aider/local_time.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::aider {

struct InputEntry {
  std::size_t event = 0;  // its event in the file's records
  std::optional<LocalTime> local;
  std::string compared;   // its text as compared with the chat's inputs
};

struct InputHistory {
  FileRecords records;
  std::vector<InputEntry> entries;
};

Result<InputHistory> read_input_history(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                        const ParseOptions& options);

}  // namespace vt::aider
