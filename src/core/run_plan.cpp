#include "core/run_plan.hpp"

#include "core/detect.hpp"
#include "core/file_kind.hpp"
#include "core/path_names.hpp"
#include "core/root_search.hpp"

namespace vt {

namespace fs = std::filesystem;

namespace {

ReadStep step_for(const Adapter& adapter, fs::path path, InputKind kind) {
  fs::path base = adapter.base_dir(path, kind);
  return ReadStep{&adapter, std::move(path), kind, std::move(base)};
}

// The path the run works on: canonical when links are followed, else as
// given, less trailing separators (so that its name is its last component).
Result<fs::path> working_path(const std::string& text, bool follow_symlinks) {
  const fs::path given(text);
  if (!follow_symlinks) return without_trailing_separators(given);
  std::error_code error;
  fs::path canonical = fs::canonical(given, error);
  if (error) return fail(ParseError::io(given, error));
  return canonical;
}

}  // namespace

Result<std::vector<ReadStep>> plan_run(const std::string& text, const ParseOptions& options) {
  // The system would see the path cut at the NUL: a different file.
  if (text.find('\0') != std::string::npos) return fail(ParseError::message("embedded null byte"));
  Result<fs::path> path = working_path(text, options.follow_symlinks);
  if (!path) return fail(std::move(path.error()));
  std::vector<ReadStep> steps;
  if (options.input_kind != InputKind::Auto) {
    steps.push_back(step_for(adapter_for_kind(options.input_kind), *path, options.input_kind));
    return steps;
  }
  // A directory is first searched for roots; its metadata is read following
  // links whatever the option says, and a failure here is left to detection.
  if (const auto kind = file_kind(*path, true); kind && *kind == FileKind::Directory) {
    Result<std::vector<RootMatch>> roots = find_roots(*path, options.follow_symlinks);
    if (!roots) return fail(std::move(roots.error()));
    if (roots->size() == 1) {
      const RootMatch& only = roots->front();
      steps.push_back({only.adapter, only.root, only.adapter->root_kind, only.root});
      return steps;
    }
    if (roots->size() > 1) {
      for (const RootMatch& root : *roots) {
        steps.push_back({root.adapter, root.root, root.adapter->root_kind, *path});
      }
      return steps;
    }
  }
  Result<Detection> detected = detect(*path, options.follow_symlinks);
  if (!detected) return fail(std::move(detected.error()));
  steps.push_back(step_for(*detected->adapter, *path, detected->kind));
  return steps;
}

}  // namespace vt
