#include "claude/root_run.hpp"

#include <iterator>
#include <optional>

#include "claude/cache_dir.hpp"
#include "claude/cache_references.hpp"
#include "claude/file_history.hpp"
#include "claude/history/claude_history.hpp"
#include "claude/root_members.hpp"
#include "claude/snapshot_projects.hpp"
#include "claude/transcripts/snapshot_files.hpp"
#include "claude/transcripts/transcripts.hpp"
#include "core/append_moved.hpp"

namespace vt::claude {

namespace fs = std::filesystem;

namespace {


// A cache or file-history member: read when it is a directory (links always
// followed); its diagnostics, the member's own first.
AdapterOutput read_dir_member(const fs::path& root, const char* name, ArtifactKind kind,
                              const fs::path& base_dir, const ParseOptions& options,
                              const HashSet& referenced) {
  AdapterOutput out;
  const fs::path dir = root / name;
  if (refused_link(root, dir, kind, base_dir, options, out.diagnostics)) return out;
  const auto found = member_kind(dir, true, base_dir, kind, out.diagnostics);
  if (found != FileKind::Directory) return out;
  AdapterOutput read = kind == ArtifactKind::FileHistory
                           ? read_file_history(dir, options, base_dir)
                           : read_cache_dir(dir, kind, options, base_dir, referenced);
  append_moved(out.diagnostics, std::move(read.diagnostics));
  out.events = std::move(read.events);
  return out;
}

// The history: read when it is a regular file (links followed only on
// request; anything else, a FIFO included, is passed over unopened).
Status read_history_member(const fs::path& root, const fs::path& base_dir, const ParseOptions& options,
                           AdapterOutput& out) {
  const fs::path file = root / "history.jsonl";
  if (member_kind(file, options.follow_symlinks, base_dir, ArtifactKind::History, out.diagnostics) !=
      FileKind::Regular) {
    return {};
  }
  auto records = read_claude_history(file, base_dir, options);
  if (!records) return fail(std::move(records.error()));
  append_moved(out.diagnostics, std::move(records->diagnostics));
  out.events = std::move(records->events);
  return {};
}

}  // namespace

Result<AdapterOutput> read_claude_root(const fs::path& root, const fs::path& base_dir,
                                       const ParseOptions& options) {
  AdapterOutput out;
  if (auto read = read_history_member(root, base_dir, options, out); !read) return fail(std::move(read.error()));
  std::vector<Event> history = std::move(out.events);

  const HashSet referenced = referenced_hashes(history);
  AdapterOutput paste = read_dir_member(root, "paste-cache", ArtifactKind::PasteCache, base_dir, options, referenced);
  AdapterOutput image = read_dir_member(root, "image-cache", ArtifactKind::ImageCache, base_dir, options, referenced);
  AdapterOutput snapshots = read_dir_member(root, "file-history", ArtifactKind::FileHistory, base_dir, options, {});

  // The full reading adds the session transcripts, and what their snapshot
  // records say of the file-history backups.
  std::optional<TranscriptsRead> transcripts;
  if (full_reading(options)) {
    const fs::path projects = root / "projects";
    const bool refused = refused_link(root, projects, ArtifactKind::Transcript, base_dir, options, out.diagnostics);
    const auto found =
        refused ? std::nullopt : member_kind(projects, true, base_dir, ArtifactKind::Transcript, out.diagnostics);
    if (found == FileKind::Directory) {
      auto read = read_transcripts(projects, base_dir, options);
      if (!read) return fail(std::move(read.error()));
      transcripts = std::move(*read);
    }
  }

  resolve_cache_references(history, paste.events, image.events, out.diagnostics);
  assign_snapshot_projects(history, snapshots.events);
  if (transcripts) describe_snapshot_files(transcripts->backups, snapshots.events);

  append_moved(out.diagnostics, std::move(paste.diagnostics));
  append_moved(out.diagnostics, std::move(image.diagnostics));
  append_moved(out.diagnostics, std::move(snapshots.diagnostics));
  out.events = std::move(history);
  append_moved(out.events, std::move(paste.events));
  append_moved(out.events, std::move(image.events));
  append_moved(out.events, std::move(snapshots.events));
  if (transcripts) {
    append_moved(out.diagnostics, std::move(transcripts->output.diagnostics));
    append_moved(out.events, std::move(transcripts->output.events));
  }
  return out;
}

}  // namespace vt::claude
