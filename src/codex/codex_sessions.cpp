// The session rollouts: finding the rollout files of a `sessions` or
// `archived_sessions` tree (in the full reading, the older rollout documents
// too), and reading each file's records (plain or compressed) as events.
#include <optional>
#include <string>
#include <system_error>

#include "codex/codex_readers.hpp"
#include "core/file_walk.hpp"
#include "core/line_key.hpp"
#include "core/parallel_files.hpp"
#include "codex/rollout_files.hpp"
#include "codex/session_records.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::codex {

namespace fs = std::filesystem;

Result<FileRecords> parse_codex_session_file(const fs::path& path, const fs::path& root,
                                             const ParseOptions& options) {
  const std::string name = path.filename().native();
  SessionRecords records(session_id_from_file_name(without_compression_suffix(name)), options);
  LineRules rules;
  rules.stored = rollout_storage(name);
  auto read = read_jsonl_records(path, root, options, ArtifactKind::Session,
                                 [&records](JsonView object, std::uint64_t line, const SharedString& relative_path,
                                            RecordSink& sink) {
                                   const LineKey key("codex_session:", line);
                                   records.handle(object, RecordPlace{line, key}, relative_path, sink);
                                 },
                                 rules);
  if (read) records.fill_ids(read->events);
  return read;
}

namespace {

// A rollout log, or in the full reading an older rollout document.
Result<FileRecords> parse_rollout(const fs::path& path, const fs::path& root, const ParseOptions& options) {
  if (full_reading(options) && is_rollout_document_name(path.filename().native())) {
    return parse_codex_rollout_document(path, root, options);
  }
  return parse_codex_session_file(path, root, options);
}

}  // namespace

Result<AdapterOutput> parse_codex_sessions(const fs::path& path, const fs::path& root,
                                           const ParseOptions& options) {
  AdapterOutput out;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!ec && !fs::is_directory(status)) {
    // A single rollout file, whatever its name (the record loop opens only
    // regular files).
    auto file = parse_rollout(path, root, options);
    if (!file) return fail(std::move(file.error()));
    out.events = std::move(file->events);
    out.diagnostics = std::move(file->diagnostics);
    return out;
  }

  WalkResult walk = walk_regular_files(path, options.follow_symlinks,
                                       full_reading(options) ? &is_any_rollout_name : &is_rollout_name,
                                       options.cancel);
  out.diagnostics.reserve(walk.failures.size());
  for (WalkFailure& failure : walk.failures) {
    out.diagnostics.push_back(Diagnostic{
        DiagnosticCode::UnreadableArtifact, failure.already_read ? Severity::Warning : Severity::Error,
        SourceRef{ArtifactKind::Session, std::nullopt, relative_path_for(failure.path, root), std::nullopt,
                  std::nullopt},
        "Cannot traverse session artifact: " + std::move(failure.detail)});
  }
  // Files are read concurrently; the first failing file in path order ends
  // the call, so files after it need not be read.
  auto files = read_each<Result<FileRecords>>(
      walk.files.size(), options.threads,
      [&](std::size_t i) { return parse_rollout(walk.files[i], root, options); },
      [](const Result<FileRecords>& file) { return !file.has_value(); });
  std::size_t total = 0;
  for (const std::optional<Result<FileRecords>>& file : files) {
    if (file && *file) total += (*file)->events.size();
  }
  out.events.reserve(total);
  for (std::optional<Result<FileRecords>>& file : files) {
    if (!*file) return fail(std::move(file->error()));
    append_moved(out.events, std::move((*file)->events));
    append_moved(out.diagnostics, std::move((*file)->diagnostics));
    file.reset();  // its emptied vectors go as soon as it is joined
  }
  return out;
}

}  // namespace vt::codex
