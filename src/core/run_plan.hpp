// What one run will read, decided before anything is read: the adapter, the
// path, the kind and the base directory of each input. Kept apart from the
// reading so the choice can be checked on its own.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/adapter.hpp"

namespace vt {

// One input of a run: a path (UTF-8 text as the caller gave it) and what the
// full reading names it in `Event::input` (empty: the path as given).
struct RunInput {
  std::string path;
  std::string label;
  const std::string& name() const { return label.empty() ? path : label; }
};

struct ReadStep {
  const Adapter* adapter = nullptr;
  std::filesystem::path path;
  InputKind kind = InputKind::Auto;
  std::filesystem::path base_dir;
  std::size_t input = 0;  // the position of the input it reads
  // Set (and no adapter) when the input could not be planned: the full
  // reading of several inputs reports it and reads the others.
  std::optional<ParseError> failure;
};

// The inputs of a run over `path` (UTF-8 text as the caller gave it), in the
// order their events are delivered: one step, or two when a directory holds
// both roots (Codex first). In the full reading a directory named like an
// agent's root (`.claude`, `.codex`) that holds nothing else detectable is
// read as that root (it then gives nothing, which the run says).
Result<std::vector<ReadStep>> plan_run(const std::string& path, const ParseOptions& options);

// The inputs of one run over several paths, each planned as above, in the
// order given. What one step already reads (the same place, or a place inside
// a directory it reads whole) is not read again by another. In the full
// reading every input keeps the base directories it has when read alone, so
// that an event's relative path and identifier do not depend on the other
// inputs (the input tells them apart), and an input that cannot be planned
// becomes a failed step (a strict run still ends at it). The documented
// reading instead starts every relative path from the deepest common
// directory of the inputs, so that no two places share a name.
Result<std::vector<ReadStep>> plan_inputs(const std::vector<RunInput>& inputs, const ParseOptions& options);

}  // namespace vt
