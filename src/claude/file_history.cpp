#include "claude/file_history.hpp"

#include <algorithm>
#include <numeric>

#include "claude/file_event.hpp"
#include "claude/input_files.hpp"
#include "claude/snapshot_name.hpp"
#include "claude/snapshot_versions.hpp"
#include "core/file_outcome.hpp"
#include "core/parallel_files.hpp"
#include "core/path_names.hpp"
#include "core/path_text.hpp"
#include "hash/capture.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::claude {

namespace fs = std::filesystem;

namespace {

Diagnostic file_diagnostic(Severity severity, DiagnosticCode code, std::string relative_path,
                           std::string message) {
  return Diagnostic{code, severity,
                    SourceRef{ArtifactKind::FileHistory, std::nullopt, std::move(relative_path), std::nullopt,
                              std::nullopt},
                    std::move(message)};
}

// Reads one walked file into an event (its sequence still unset), or records
// why it yields none.
std::optional<Event> read_snapshot(const fs::path& file, const ParseOptions& options, const fs::path& base_dir,
                                   std::vector<Diagnostic>& diagnostics) {
  std::string relative_path = relative_path_for(file, base_dir);
  std::optional<std::string> session = path_name(file.parent_path());
  if (!session) {
    diagnostics.push_back(file_diagnostic(Severity::Warning, DiagnosticCode::UnreadableArtifact,
                                          std::move(relative_path),
                                          "Cannot determine session ID from parent directory"));
    return std::nullopt;
  }
  std::string name = file.filename().native();
  if (!is_valid_utf8(name)) name.clear();
  std::optional<SnapshotName> split = split_snapshot_name(name);
  if (!split) {
    if (options.strict) {
      diagnostics.push_back(file_diagnostic(Severity::Error, DiagnosticCode::UnexpectedFileName,
                                            std::move(relative_path),
                                            "Filename does not match '<id>@v<version>' pattern: " + name));
      return std::nullopt;
    }
    split = SnapshotName{name, 0};
  }
  const std::size_t before = diagnostics.size();
  auto captured = capture_file(file, relative_path, ArtifactKind::FileHistory, options, diagnostics);
  if (!captured) {
    tag_capture_failure(diagnostics, before, "", split->id);
    return std::nullopt;
  }
  std::string key = "file_history:" + *session + ":" + split->id + "@v" + std::to_string(split->version);
  Event event = file_event(FileEventSource{EventType::FileSnapshot, ArtifactKind::FileHistory,
                                           std::move(relative_path), std::move(key), std::move(split->id)},
                           std::move(*captured), 0);
  event.session_id = std::move(*session);
  event.artifact->snapshot_version = split->version;
  return event;
}

}  // namespace

AdapterOutput read_file_history(const fs::path& dir, const ParseOptions& options, const fs::path& base_dir) {
  AdapterOutput out;
  WalkResult walk = input_files(dir, options.follow_symlinks, options.cancel);
  for (WalkFailure& failure : walk.failures) {
    out.diagnostics.push_back(file_diagnostic(Severity::Warning, DiagnosticCode::UnreadableArtifact,
                                              relative_path_for(dir, base_dir),
                                              "walkdir error: " + std::move(failure.detail)));
  }

  // Snapshots are captured concurrently and joined in walk order.
  auto outcomes = read_each<FileOutcome>(walk.files.size(), options.threads, [&](std::size_t i) {
    FileOutcome one;
    if (cancel_requested(options)) return one;  // the run ends with the interrupted error
    one.event = read_snapshot(walk.files[i], options, base_dir, one.diagnostics);
    return one;
  });
  std::vector<Event> read;
  join_outcomes(outcomes, read, out.diagnostics, false);

  std::vector<SnapshotKey> keys;
  keys.reserve(read.size());
  for (const Event& e : read) {
    keys.push_back(SnapshotKey{&e.session_id->str(), &e.source.source_id->str(), &e.source.relative_path.str(),
                               *e.artifact->snapshot_version});
  }
  std::vector<Diagnostic> versions = check_snapshot_versions(keys);
  std::move(versions.begin(), versions.end(), std::back_inserter(out.diagnostics));

  std::vector<std::size_t> order(read.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return read[a].source.relative_path < read[b].source.relative_path;
  });
  out.events.reserve(read.size());
  for (std::size_t i : order) {
    read[i].sequence = out.events.size();
    out.events.push_back(std::move(read[i]));
  }
  return out;
}

}  // namespace vt::claude
