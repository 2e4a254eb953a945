// The files a cache or file-history input stands for: every regular file of
// the directory tree, or the one file when the input is a file inside it.
#pragma once

#include <filesystem>

#include "core/file_walk.hpp"

namespace vt::claude {

// A directory (links followed) is walked; a regular file is its own only
// member; anything else (a FIFO, socket or device) has none and is never
// opened. A path whose kind cannot be read is handed on, so that its capture
// reports why. A walk stops early once `*cancel` is true.
WalkResult input_files(const std::filesystem::path& path, bool follow_symlinks,
                       const std::atomic<bool>* cancel = nullptr);

}  // namespace vt::claude
