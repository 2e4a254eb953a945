// The recursive walk of a cache, sessions or attachments tree: every regular
// file in path order, and every entry that could not be read, so the callers
// can report it and go on. Only regular files are ever handed out: FIFOs,
// sockets and devices are passed over without being opened. Directories are
// listed without moving their access times where the kernel allows, and one
// on a pseudo file system (proc, sys, devices) is reported, never listed.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>


namespace vt {

struct WalkFailure {
  std::filesystem::path path;  // the entry that could not be read
  std::string detail;          // names the path and the system's error
  // A directory reached again through another followed link and not entered
  // twice: nothing is missing from the result, so callers report a warning.
  bool already_read = false;
};

struct WalkResult {
  std::vector<std::filesystem::path> files;  // in path order (component-wise, bytewise)
  std::vector<WalkFailure> failures;         // in the order met
};

// Walks `start` with no depth limit. `start` is entered even when it is a
// link; links below it are followed only with `follow_symlinks`. Then a link
// back to a directory being walked is reported, not entered, and so is a
// directory already entered through another path (links that form a graph
// would otherwise multiply the paths walked). A file joins the result when
// `accept` answers true for its name.
// When `cancel` is given and becomes true, the walk stops early and returns
// what it had found (the caller's run is ending anyway).
WalkResult walk_regular_files(const std::filesystem::path& start, bool follow_symlinks,
                              bool (*accept)(std::string_view file_name),
                              const std::atomic<bool>* cancel = nullptr);

}  // namespace vt
