// The identities (device and inode) of the files a run read, so that an
// output about to be written can be refused when it would replace one of its
// own inputs, whatever path (a link, another name) leads to it.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <utility>

namespace vt {

class InputFiles {
 public:
  // Records the file at `path` (links followed); a file that cannot be
  // examined any more is passed over. Files read at once may note at once.
  void note(const std::filesystem::path& path);
  // True when `path` (links followed) is one of the recorded files.
  bool contains(const std::filesystem::path& path) const;

 private:
  mutable std::mutex mutex_;
  std::set<std::pair<dev_t, ino_t>> ids_;
};

// Empty when `output` may be created; otherwise the error whose text is "it
// is one of the input files of this run", for cannot_create_message.
std::error_code output_names_an_input(const std::filesystem::path& output, const InputFiles& inputs);

}  // namespace vt
