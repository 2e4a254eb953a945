// What one run will read, decided before anything is read: the adapter, the
// path, the kind and the base directory of each input. Kept apart from the
// reading so the choice can be checked on its own.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/adapter.hpp"

namespace vt {

struct ReadStep {
  const Adapter* adapter;
  std::filesystem::path path;
  InputKind kind;
  std::filesystem::path base_dir;
};

// The inputs of a run over `path` (UTF-8 text as the caller gave it), in the
// order their events are delivered: one step, or two when a directory holds
// both roots (Codex first).
Result<std::vector<ReadStep>> plan_run(const std::string& path, const ParseOptions& options);

// The inputs of one run over several paths, each planned as above, in the
// order given. What one step already reads (the same place, or a place inside
// a directory it reads whole) is not read again by another. When the steps
// left come from more than one path, every relative path starts from their
// deepest common directory, so that no two places of the run share a name
// (nor their events an identifier).
Result<std::vector<ReadStep>> plan_inputs(const std::vector<std::string>& paths,
                                          const ParseOptions& options);

}  // namespace vt
