// Classification of a path as one of the Codex inputs, its rating against the
// other adapter, and the directory its events' relative paths start from.
#include "codex/codex_adapter.hpp"

#include "codex/rollout_files.hpp"
#include "core/file_kind.hpp"
#include "core/path_names.hpp"
#include "core/tree_search.hpp"

namespace vt::codex {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kRootName = ".codex";
constexpr std::string_view kOtherRootName = ".claude";
// How far below a sessions directory a rollout log is looked for when a
// directory is checked for holding rollouts.
constexpr unsigned kRolloutSearchDepth = 5;

bool holds_rollouts(const fs::path& dir) {
  const auto kind = file_kind(dir, false);
  return kind && *kind == FileKind::Directory && tree_has_file(dir, kRolloutSearchDepth, is_rollout_name);
}

// The nearest ancestor (the path itself included) named like a sessions directory.
std::optional<fs::path> nearest_session_dir(const fs::path& path) {
  std::optional<fs::path> nearest;
  for (const std::string_view name : kSessionDirNames) {
    std::optional<fs::path> found = nearest_ancestor_named(path, name);
    if (found && (!nearest || found->native().size() > nearest->native().size())) nearest = std::move(found);
  }
  return nearest;
}

std::optional<InputKind> classify_directory(const fs::path& path) {
  if (name_is(path, kOtherRootName)) return std::nullopt;
  const bool below_root = has_ancestor_named(path, kRootName);
  const std::optional<std::string> name = path_name(path);
  const bool session_dir = name && is_session_dir_name(*name);
  if (below_root && session_dir) return InputKind::CodexSessions;
  if (below_root && name_is(path, "attachments")) return InputKind::CodexAttachments;
  if (name_is(path, kRootName)) return InputKind::CodexRoot;
  // Archived rollouts lie flat in their directory, wherever it was copied.
  if (name_is(path, "archived_sessions") && holds_rollouts(path)) return InputKind::CodexSessions;
  for (const std::string_view member : kSessionDirNames) {
    if (holds_rollouts(path / member)) return InputKind::CodexRoot;
  }
  return std::nullopt;
}

std::optional<InputKind> classify_file(const fs::path& path) {
  const std::optional<std::string> name = path_name(path);
  if (name && *name == "history.jsonl" && name_is(lexical_parent(path), kRootName)) {
    return InputKind::CodexHistory;
  }
  if (name && is_rollout_name(*name) && nearest_session_dir(path)) return InputKind::CodexSession;
  if (has_ancestor_named(path, "attachments")) return InputKind::CodexAttachments;
  return std::nullopt;
}

// The parent of `ancestor`, or the path itself when there is none.
fs::path above(const fs::path& path, const std::optional<fs::path>& ancestor) {
  if (!ancestor) return path;
  fs::path parent = ancestor->parent_path();
  return parent == *ancestor ? path : parent;
}

}  // namespace

Result<std::optional<InputKind>> probe(const fs::path& path, bool follow_symlinks) {
  const auto kind = file_kind(path, follow_symlinks);
  if (!kind) return fail(ParseError::io(path, kind.error()));
  switch (*kind) {
    case FileKind::Directory: return classify_directory(path);
    case FileKind::Regular: return classify_file(path);
    default: return std::nullopt;
  }
}

fs::path base_dir(const fs::path& path, InputKind kind) {
  switch (kind) {
    case InputKind::CodexHistory:
    case InputKind::CodexSessions: return lexical_parent(path);
    case InputKind::CodexSession: return above(path, nearest_session_dir(path));
    case InputKind::CodexAttachments: return above(path, nearest_ancestor_named(path, "attachments"));
    default: return path;
  }
}

bool supports_kind(InputKind kind) {
  return kind >= InputKind::CodexRoot && kind <= InputKind::CodexAttachments;
}

std::uint8_t detection_priority(const fs::path& path, InputKind) {
  return has_ancestor_named(path, kRootName) ? 100 : 80;
}

}  // namespace vt::codex
