// The attachments: every regular file under an `attachments` tree becomes
// one `attachment` event carrying the file's captured facts.
#include <system_error>

#include "codex/codex_readers.hpp"
#include "core/file_walk.hpp"
#include "core/file_outcome.hpp"
#include "core/parallel_files.hpp"
#include "core/path_text.hpp"
#include "hash/capture.hpp"
#include "hash/event_id.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::codex {

namespace fs = std::filesystem;

namespace {

Diagnostic traverse_warning(const fs::path& path, const fs::path& root, std::string detail) {
  return Diagnostic{DiagnosticCode::UnreadableArtifact, Severity::Warning,
                    SourceRef{ArtifactKind::Attachment, std::nullopt, relative_path_for(path, root),
                              std::nullopt, std::nullopt},
                    "Cannot traverse attachment artifact: " + std::move(detail)};
}

std::optional<std::string> parent_name(const fs::path& path) {
  const fs::path name = path.parent_path().filename();
  if (name.empty() || !is_valid_utf8(name.native())) return std::nullopt;
  return name.native();
}

Event attachment_event(const fs::path& path, std::string relative_path, CapturedFile&& captured,
                       std::uint64_t sequence) {
  Event event;
  event.provider = Provider::Codex;
  event.event_type = EventType::Attachment;
  event.sequence = sequence;
  event.event_id = event_id_for(Provider::Codex, ArtifactKind::Attachment, relative_path,
                                "codex_attachment:" + relative_path);
  take_captured_file(event, std::move(captured));
  event.source = SourceRef{ArtifactKind::Attachment, std::string("attachment"), std::move(relative_path),
                           std::nullopt, parent_name(path)};
  return event;
}

// One file's event (none when it cannot be captured) and warnings.
FileOutcome capture_attachment(const fs::path& file, const fs::path& root, const ParseOptions& options) {
  FileOutcome out;
  if (cancel_requested(options)) return out;  // the run ends with the interrupted error
  std::string relative_path = relative_path_for(file, root);
  auto captured = capture_file(file, relative_path, ArtifactKind::Attachment, options, out.diagnostics);
  if (captured) out.event = attachment_event(file, std::move(relative_path), std::move(*captured), 0);
  return out;
}

}  // namespace

AdapterOutput parse_codex_attachments(const fs::path& path, const fs::path& root,
                                      const ParseOptions& options) {
  AdapterOutput out;
  std::vector<fs::path> files;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!ec && !fs::is_directory(status)) {
    files.push_back(path);  // the capture opens only regular files
  } else {
    WalkResult walk = walk_regular_files(path, options.follow_symlinks, nullptr, options.cancel);
    for (WalkFailure& failure : walk.failures) {
      out.diagnostics.push_back(traverse_warning(failure.path, root, std::move(failure.detail)));
    }
    files = std::move(walk.files);
  }

  // Each file is captured on its own (concurrently); the events are then
  // numbered in path order.
  auto read = read_each<FileOutcome>(files.size(), options.threads, [&](std::size_t i) {
    return capture_attachment(files[i], root, options);
  });
  join_outcomes(read, out.events, out.diagnostics, true);
  return out;
}

}  // namespace vt::codex
