#include "claude/transcripts/transcripts.hpp"

#include "core/append_moved.hpp"
#include "core/file_walk.hpp"
#include "core/parallel_files.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::claude {

namespace fs = std::filesystem;

namespace {

struct TranscriptFile {
  FileRecords records;
  std::vector<SnapshotBackup> backups;
};

bool is_transcript_name(std::string_view name) { return name.ends_with(".jsonl"); }

Result<TranscriptFile> read_transcript_file(const fs::path& path, const fs::path& base_dir,
                                            const ParseOptions& options) {
  TranscriptRecords records(path.stem().string(), options);
  auto read = read_jsonl_records(path, base_dir, options, ArtifactKind::Transcript,
                                 [&records](JsonView object, std::uint64_t line, const SharedString& relative_path,
                                            RecordSink& sink) { records.handle(object, line, relative_path, sink); });
  if (!read) return fail(std::move(read.error()));
  records.fill_ids(read->events);
  return TranscriptFile{std::move(*read), records.take_backups()};
}

}  // namespace

Result<TranscriptsRead> read_transcripts(const fs::path& path, const fs::path& base_dir, const ParseOptions& options) {
  TranscriptsRead out;
  std::error_code ec;
  if (!fs::is_directory(fs::status(path, ec))) {
    auto file = read_transcript_file(path, base_dir, options);
    if (!file) return fail(std::move(file.error()));
    out.output.events = std::move(file->records.events);
    out.output.diagnostics = std::move(file->records.diagnostics);
    out.backups = std::move(file->backups);
    return out;
  }
  WalkResult walk = walk_regular_files(path, options.follow_symlinks, &is_transcript_name, options.cancel);
  for (WalkFailure& failure : walk.failures) {
    out.output.diagnostics.push_back(Diagnostic{
        DiagnosticCode::UnreadableArtifact, failure.already_read ? Severity::Warning : Severity::Error,
        SourceRef{ArtifactKind::Transcript, std::nullopt, relative_path_for(failure.path, base_dir), std::nullopt,
                  std::nullopt},
        "Cannot traverse transcript folder: " + std::move(failure.detail)});
  }
  auto files = read_each<Result<TranscriptFile>>(
      walk.files.size(), options.threads,
      [&](std::size_t i) { return read_transcript_file(walk.files[i], base_dir, options); },
      [](const Result<TranscriptFile>& file) { return !file.has_value(); });
  std::size_t total = 0;
  for (const std::optional<Result<TranscriptFile>>& file : files) {
    if (file && *file) total += (*file)->records.events.size();
  }
  out.output.events.reserve(total);
  for (std::optional<Result<TranscriptFile>>& file : files) {
    if (!*file) return fail(std::move(file->error()));
    append_moved(out.output.events, std::move((*file)->records.events));
    append_moved(out.output.diagnostics, std::move((*file)->records.diagnostics));
    append_moved(out.backups, std::move((*file)->backups));
    file.reset();
  }
  return out;
}

}  // namespace vt::claude
