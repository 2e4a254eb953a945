// The agent roots directly inside a directory: a ".codex" or ".claude"
// directory that its own adapter recognises as a root. Lets a caller hand
// over the directory that holds the roots (a home directory, a backup).
#pragma once

#include <filesystem>
#include <vector>

#include "core/adapter.hpp"

namespace vt {

struct RootMatch {
  const Adapter* adapter;
  std::filesystem::path root;
};

// The roots inside `dir`, in adapter-table order (at most one per adapter).
// A probe's error ends the search with that error.
Result<std::vector<RootMatch>> find_roots(const std::filesystem::path& dir, bool follow_symlinks,
                                          Reading reading = Reading::Documented);

}  // namespace vt
