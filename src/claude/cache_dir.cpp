#include "claude/cache_dir.hpp"

#include "claude/file_event.hpp"
#include "claude/input_files.hpp"
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

  out.events.reserve(walk.files.size());
  for (const fs::path& file : walk.files) {
    if (cancel_requested(options)) break;  // the run ends with the interrupted error
    std::string relative_path = relative_path_for(file, base_dir);
    std::string stem = file_stem(file);
    const std::size_t before = out.diagnostics.size();
    auto captured = capture_file(file, relative_path, kind, options, out.diagnostics);
    if (!captured) {
      tag_capture_failure(out.diagnostics, before, "SHA-256 computation failed: ", stem);
      continue;
    }
    const bool referenced = !stem.empty() && referenced_hashes.contains(stem);
    Event event = file_event(FileEventSource{EventType::OrphanCache, kind, std::move(relative_path),
                                             "cache:" + stem, std::move(stem)},
                             std::move(*captured), out.events.size());
    if (referenced) event.artifact->reference_status = ReferenceStatus::Resolved;
    out.events.push_back(std::move(event));
  }
  return out;
}

}  // namespace vt::claude
