#include "core/run_plan.hpp"

#include <algorithm>

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

bool is_transcript_kind(InputKind kind) {
  return kind == InputKind::Transcripts || kind == InputKind::Transcript;
}

// Where a step reads, as one text to compare: links resolved as far as the
// path exists, so that two spellings of one place compare equal.
fs::path identity_of(const fs::path& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) absolute = path;
  fs::path canonical = fs::weakly_canonical(absolute, error);
  return without_trailing_separators(error ? absolute.lexically_normal() : canonical);
}

bool lies_within(const fs::path& inner, const fs::path& outer) {
  auto o = outer.begin();
  auto i = inner.begin();
  for (; o != outer.end(); ++o, ++i) {
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

// Whether step `a` already reads what step `b` would: the same place, or a
// place inside a directory `a` reads whole (a root read in the documented
// way leaves its transcripts out).
bool reads_what(const ReadStep& a, const fs::path& a_place, const ReadStep& b, const fs::path& b_place,
                const ParseOptions& options) {
  if (a_place == b_place) return true;
  if (!lies_within(b_place, a_place)) return false;
  return !(a.kind == InputKind::ClaudeRoot && is_transcript_kind(b.kind) && !full_reading(options));
}

fs::path absolute_of(const fs::path& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  return without_trailing_separators(error ? path : absolute.lexically_normal());
}

fs::path common_directory(const fs::path& a, const fs::path& b) {
  fs::path common;
  for (auto i = a.begin(), j = b.begin(); i != a.end() && j != b.end() && *i == *j; ++i, ++j) {
    common /= *i;
  }
  return common;
}

}  // namespace

Result<std::vector<ReadStep>> plan_inputs(const std::vector<std::string>& paths,
                                          const ParseOptions& options) {
  if (paths.size() == 1) return plan_run(paths.front(), options);
  struct Planned {
    ReadStep step;
    fs::path place;
    std::size_t input;
  };
  std::vector<Planned> planned;
  for (std::size_t input = 0; input < paths.size(); ++input) {
    Result<std::vector<ReadStep>> steps = plan_run(paths[input], options);
    if (!steps) return fail(std::move(steps.error()));
    for (ReadStep& step : *steps) {
      fs::path place = identity_of(step.path);
      planned.push_back({std::move(step), std::move(place), input});
    }
  }
  // Decided over all steps before any is moved out.
  std::vector<bool> covered(planned.size(), false);
  for (std::size_t i = 0; i < planned.size(); ++i) {
    for (std::size_t j = 0; j < planned.size() && !covered[i]; ++j) {
      if (i == j) continue;
      const bool same = planned[i].place == planned[j].place;
      // Of two steps on one place the first is kept.
      if (same ? j < i : reads_what(planned[j].step, planned[j].place, planned[i].step, planned[i].place, options)) {
        covered[i] = true;
      }
    }
  }
  std::vector<Planned> kept;
  for (std::size_t i = 0; i < planned.size(); ++i) {
    if (!covered[i]) kept.push_back(std::move(planned[i]));
  }
  std::vector<ReadStep> steps;
  steps.reserve(kept.size());
  const bool one_input = std::all_of(kept.begin(), kept.end(),
                                     [&](const Planned& p) { return p.input == kept.front().input; });
  if (one_input) {
    for (Planned& p : kept) steps.push_back(std::move(p.step));
    return steps;
  }
  fs::path base;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const fs::path own = absolute_of(kept[i].step.base_dir);
    base = i == 0 ? own : common_directory(base, own);
  }
  for (Planned& p : kept) {
    p.step.path = absolute_of(p.step.path);
    p.step.base_dir = base;
    steps.push_back(std::move(p.step));
  }
  return steps;
}

Result<std::vector<ReadStep>> plan_run(const std::string& text, const ParseOptions& options) {
  // The system would see the path cut at the NUL: a different file.
  if (text.find('\0') != std::string::npos) return fail(ParseError::message("embedded null byte"));
  Result<fs::path> path = working_path(text, options.follow_symlinks);
  if (!path) return fail(std::move(path.error()));
  std::vector<ReadStep> steps;
  if (options.input_kind != InputKind::Auto) {
    steps.push_back(step_for(adapter_for_kind(options.input_kind, options.reading), *path, options.input_kind));
    return steps;
  }
  // A directory is first searched for roots; its metadata is read following
  // links whatever the option says, and a failure here is left to detection.
  if (const auto kind = file_kind(*path, true); kind && *kind == FileKind::Directory) {
    Result<std::vector<RootMatch>> roots = find_roots(*path, options.follow_symlinks, options.reading);
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
  Result<Detection> detected = detect(*path, options.follow_symlinks, options.reading);
  if (!detected) return fail(std::move(detected.error()));
  steps.push_back(step_for(*detected->adapter, *path, detected->kind));
  return steps;
}

}  // namespace vt
