#include "core/run_plan.hpp"

#include <algorithm>

#include "core/detect.hpp"
#include "core/file_kind.hpp"
#include "core/path_names.hpp"
#include "core/root_search.hpp"

namespace vt {

namespace fs = std::filesystem;

namespace {

ReadStep step_at(const Adapter& adapter, fs::path path, InputKind kind, fs::path base) {
  ReadStep step;
  step.adapter = &adapter;
  step.path = std::move(path);
  step.kind = kind;
  step.base_dir = std::move(base);
  return step;
}

ReadStep step_for(const Adapter& adapter, fs::path path, InputKind kind) {
  fs::path base = adapter.base_dir(path, kind);
  return step_at(adapter, std::move(path), kind, std::move(base));
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
  // A place an agent keeps its files in (Aider's) is read without what lies below it.
  if (!lies_within(b_place, a_place) || a.kind == InputKind::AiderPlace) return false;
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

// A directory named like an agent's root, or the directories so named
// directly inside it, read as those roots whatever they hold (full reading,
// when nothing else claims the place).
std::vector<ReadStep> named_roots(const fs::path& path, bool follow_symlinks) {
  std::vector<ReadStep> steps;
  const std::span<const Adapter> table = adapter_table(Reading::Full);
  for (const Adapter& adapter : table) {
    if (!adapter.dir_name.empty() && name_is(path, adapter.dir_name)) {
      steps.push_back(step_at(adapter, path, adapter.root_kind, path));
      return steps;
    }
  }
  for (const Adapter& adapter : table) {
    if (adapter.dir_name.empty()) continue;
    fs::path candidate = path / adapter.dir_name;
    const auto kind = file_kind(candidate, follow_symlinks);
    if (kind && *kind == FileKind::Directory) steps.push_back(step_at(adapter, candidate, adapter.root_kind, candidate));
  }
  if (steps.size() > 1) {
    for (ReadStep& step : steps) step.base_dir = path;
  }
  return steps;
}

}  // namespace

Result<std::vector<ReadStep>> plan_inputs(const std::vector<RunInput>& inputs, const ParseOptions& options) {
  if (inputs.size() == 1) return plan_run(inputs.front().path, options);
  const bool per_input = full_reading(options) && !options.strict;
  struct Planned {
    ReadStep step;
    fs::path place;
  };
  std::vector<Planned> planned;
  for (std::size_t input = 0; input < inputs.size(); ++input) {
    Result<std::vector<ReadStep>> steps = plan_run(inputs[input].path, options);
    if (!steps && !per_input) return fail(std::move(steps.error()));
    if (!steps) {
      ReadStep failed;
      failed.input = input;
      failed.failure = std::move(steps.error());
      planned.push_back({std::move(failed), fs::path()});
      continue;
    }
    for (ReadStep& step : *steps) {
      step.input = input;
      fs::path place = identity_of(step.path);
      planned.push_back({std::move(step), std::move(place)});
    }
  }
  // Decided over all steps before any is moved out.
  std::vector<bool> covered(planned.size(), false);
  for (std::size_t i = 0; i < planned.size(); ++i) {
    if (planned[i].step.failure) continue;
    for (std::size_t j = 0; j < planned.size() && !covered[i]; ++j) {
      if (i == j || planned[j].step.failure) continue;
      const bool same = planned[i].place == planned[j].place;
      // Of two steps on one place the first is kept.
      if (same ? j < i : reads_what(planned[j].step, planned[j].place, planned[i].step, planned[i].place, options)) {
        covered[i] = true;
      }
    }
  }
  std::vector<ReadStep> steps;
  for (std::size_t i = 0; i < planned.size(); ++i) {
    if (!covered[i]) steps.push_back(std::move(planned[i].step));
  }
  const bool one_input = std::all_of(steps.begin(), steps.end(),
                                     [&](const ReadStep& s) { return s.input == steps.front().input; });
  if (one_input || full_reading(options)) return steps;
  fs::path base;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const fs::path own = absolute_of(steps[i].base_dir);
    base = i == 0 ? own : common_directory(base, own);
  }
  for (ReadStep& step : steps) {
    step.path = absolute_of(step.path);
    step.base_dir = base;
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
      steps.push_back(step_at(*only.adapter, only.root, only.adapter->root_kind, only.root));
      return steps;
    }
    if (roots->size() > 1) {
      for (const RootMatch& root : *roots) {
        steps.push_back(step_at(*root.adapter, root.root, root.adapter->root_kind, *path));
      }
      return steps;
    }
  }
  Result<Detection> detected = detect(*path, options.follow_symlinks, options.reading);
  if (!detected && detected.error().kind() == ParseErrorKind::Message && full_reading(options)) {
    if (std::vector<ReadStep> named = named_roots(*path, options.follow_symlinks); !named.empty()) return named;
  }
  if (!detected) return fail(std::move(detected.error()));
  steps.push_back(step_for(*detected->adapter, *path, detected->kind));
  return steps;
}

}  // namespace vt
