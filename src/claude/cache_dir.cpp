#include "claude/cache_dir.hpp"

#include "claude/file_event.hpp"
#include "claude/input_files.hpp"
#include "core/file_outcome.hpp"
#include "core/parallel_files.hpp"
#include "core/path_text.hpp"
#include "hash/capture.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::claude {

namespace fs = std::filesystem;

std::string file_stem(const fs::path& file) {
  const std::string name = file.filename().native();
  if (name.empty() || name == "..") return {};
  const auto dot = name.rfind('.');
  std::string stem = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
  return is_valid_utf8(stem) ? stem : std::string();
}

namespace {

// One cached file's event (none when it cannot be captured) and warnings.
FileOutcome read_cache_file(const fs::path& file, ArtifactKind kind, const ParseOptions& options,
                            const fs::path& base_dir, const HashSet& referenced_hashes) {
  FileOutcome out;
  if (cancel_requested(options)) return out;  // the run ends with the interrupted error
  std::string relative_path = relative_path_for(file, base_dir);
  std::string stem = file_stem(file);
  auto captured = capture_file(file, relative_path, kind, options, out.diagnostics);
  if (!captured) {
    tag_capture_failure(out.diagnostics, 0, "SHA-256 computation failed: ", stem);
    return out;
  }
  const bool referenced = !stem.empty() && referenced_hashes.contains(stem);
  out.event = file_event(FileEventSource{EventType::OrphanCache, kind, std::move(relative_path),
                                         "cache:" + stem, std::move(stem)},
                         std::move(*captured), 0);
  if (referenced) out.event->artifact->reference_status = ReferenceStatus::Resolved;
  return out;
}

}  // namespace

AdapterOutput read_cache_dir(const fs::path& dir, ArtifactKind kind, const ParseOptions& options,
                             const fs::path& base_dir, const HashSet& referenced_hashes) {
  AdapterOutput out;
  WalkResult walk = input_files(dir, options.follow_symlinks, options.cancel);
  for (WalkFailure& failure : walk.failures) {
    out.diagnostics.push_back(Diagnostic{
        DiagnosticCode::UnreadableArtifact, Severity::Warning,
        SourceRef{kind, std::nullopt, relative_path_for(dir, base_dir), std::nullopt, std::nullopt},
        "walkdir error: " + std::move(failure.detail)});
  }

  // Each file is captured on its own (concurrently); the events are then
  // numbered in walk order.
  auto read = read_each<FileOutcome>(walk.files.size(), options.threads, [&](std::size_t i) {
    return read_cache_file(walk.files[i], kind, options, base_dir, referenced_hashes);
  });
  join_outcomes(read, out.events, out.diagnostics, true);
  return out;
}

}  // namespace vt::claude
