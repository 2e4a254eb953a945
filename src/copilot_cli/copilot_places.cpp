#include "copilot_cli/copilot_places.hpp"

#include <algorithm>

#include "copilot_cli/legacy_session.hpp"
#include "copilot_cli/session_files.hpp"
#include "core/file_kind.hpp"
#include "core/path_names.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::copilot {

namespace fs = std::filesystem;

bool is_sessions_dir_name(std::string_view name) { return name == kSessionsName || name == kLegacyName; }

bool is_session_folder(const fs::path& dir, bool follow_symlinks) {
  return is_file_kind(dir / kEventsName, follow_symlinks, FileKind::Regular) ||
         is_file_kind(dir / kWorkspaceName, follow_symlinks, FileKind::Regular);
}

std::optional<fs::path> nearest_sessions_dir(const fs::path& path) {
  std::optional<fs::path> nearest;
  for (const std::string_view name : {kSessionsName, kLegacyName}) {
    std::optional<fs::path> found = nearest_ancestor_named(path, name);
    if (found && (!nearest || found->native().size() > nearest->native().size())) nearest = std::move(found);
  }
  return nearest;
}

std::vector<SessionInput> list_sessions(const fs::path& dir, const fs::path& base_dir, bool follow_symlinks,
                                        std::vector<Diagnostic>& diagnostics) {
  std::vector<SessionInput> found;
  const bool legacy = name_is(dir, kLegacyName);
  std::error_code error;
  fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, error);
  for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
    const std::optional<std::string> name = path_name(it->path());
    if (!name) continue;
    const auto kind = entry_kind(*it, follow_symlinks);
    if (!kind) continue;
    if (*kind == FileKind::Regular && legacy_session_id(*name) && legacy) {
      found.push_back({it->path(), SessionInput::Shape::Legacy});
    } else if (*kind == FileKind::Regular && name->ends_with(".jsonl") && !legacy) {
      found.push_back({it->path(), SessionInput::Shape::FlatLog});
    } else if (*kind == FileKind::Directory && !legacy) {
      found.push_back({it->path(), SessionInput::Shape::Folder});
    }
  }
  if (error) {
    diagnostics.push_back(Diagnostic{
        DiagnosticCode::UnreadableArtifact, Severity::Error,
        SourceRef{ArtifactKind::SessionLog, std::nullopt, relative_path_for(dir, base_dir), std::nullopt,
                  std::nullopt},
        "Cannot list Copilot CLI sessions: " + error.message()});
  }
  std::ranges::sort(found, {}, &SessionInput::path);
  return found;
}

std::optional<SessionInput> session_input(const fs::path& path, bool follow_symlinks) {
  const std::optional<std::string> name = path_name(path);
  if (!name) return std::nullopt;
  const fs::path parent = lexical_parent(path);
  const fs::path grandparent = lexical_parent(parent);
  const bool below_root = has_ancestor_named(path, kRootName);
  if (is_file_kind(path, follow_symlinks, FileKind::Directory)) {
    if (name_is(parent, kSessionsName) && is_session_folder(path, follow_symlinks)) {
      return SessionInput{path, SessionInput::Shape::Folder};
    }
    return std::nullopt;
  }
  if (!is_file_kind(path, follow_symlinks, FileKind::Regular)) return std::nullopt;
  if (legacy_session_id(*name) && (name_is(parent, kLegacyName) || below_root)) {
    return SessionInput{path, SessionInput::Shape::Legacy};
  }
  if (name->ends_with(".jsonl") && name_is(parent, kSessionsName)) {
    return SessionInput{path, SessionInput::Shape::FlatLog};
  }
  // A file of a session folder: the folder lies in `session-state` or a
  // `.copilot` root, or the log and the workspace file sit side by side.
  const bool in_folder = name_is(grandparent, kSessionsName) || below_root;
  const bool in_part = name_is(lexical_parent(grandparent), kSessionsName) || below_root;
  if (*name == kEventsName && (in_folder || is_file_kind(parent / kWorkspaceName, follow_symlinks, FileKind::Regular))) {
    return SessionInput{path, SessionInput::Shape::FolderFile};
  }
  if (*name == kWorkspaceName && (in_folder || is_file_kind(parent / kEventsName, follow_symlinks, FileKind::Regular))) {
    return SessionInput{path, SessionInput::Shape::FolderFile};
  }
  if (in_part && ((*name == "index.json" && name_is(parent, "rewind-snapshots")) ||
                  (is_checkpoint_name(*name) && name_is(parent, "checkpoints")))) {
    return SessionInput{path, SessionInput::Shape::FolderFile};
  }
  return std::nullopt;
}

}  // namespace vt::copilot
