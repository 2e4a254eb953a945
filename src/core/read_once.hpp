// Files read once per run, by identity. Two inputs may reach one file under
// different names: a backup made with hard links beside the original home,
// two roots whose histories are one file. The first step that reads a file
// keeps its events and diagnostics; a later step's of the same file (same
// device and inode) are dropped, as a step covered by an earlier one is.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <set>
#include <utility>

#include "core/adapter.hpp"

namespace vt {

class FilesReadOnce {
 public:
  // Drops from `output` (of a step whose relative paths start at `base_dir`)
  // what comes from files an earlier call already kept, then remembers the
  // files it keeps.
  void keep_first(AdapterOutput& output, const std::filesystem::path& base_dir);

 private:
  std::set<std::pair<dev_t, ino_t>> read_;
};

}  // namespace vt
