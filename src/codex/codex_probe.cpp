// Classification of a path as one of the Codex inputs, its rating against the
// other adapter, and the directory its events' relative paths start from.
#include "codex/codex_adapter.hpp"

#include "core/file_kind.hpp"
#include "core/path_names.hpp"
#include "core/tree_search.hpp"

namespace vt::codex {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kRootName = ".codex";
constexpr std::string_view kOtherRootName = ".claude";
// How far below `sessions` a rollout log is looked for when a directory of
// another name is checked for being a Codex root.
constexpr unsigned kRolloutSearchDepth = 5;

bool is_rollout_name(std::string_view name) {
  return name.starts_with("rollout-") && name.ends_with(".jsonl");
}

std::optional<InputKind> classify_directory(const fs::path& path) {
  if (name_is(path, kOtherRootName)) return std::nullopt;
  const bool below_root = has_ancestor_named(path, kRootName);
  if (below_root && name_is(path, "sessions")) return InputKind::CodexSessions;
  if (below_root && name_is(path, "attachments")) return InputKind::CodexAttachments;
  if (name_is(path, kRootName)) return InputKind::CodexRoot;
  const fs::path sessions = path / "sessions";
  const auto sessions_kind = file_kind(sessions, false);
  if (sessions_kind && *sessions_kind == FileKind::Directory &&
      tree_has_file(sessions, kRolloutSearchDepth, is_rollout_name)) {
    return InputKind::CodexRoot;
  }
  return std::nullopt;
}

std::optional<InputKind> classify_file(const fs::path& path) {
  const std::optional<std::string> name = path_name(path);
  if (name && *name == "history.jsonl" && name_is(lexical_parent(path), kRootName)) {
    return InputKind::CodexHistory;
  }
  if (name && is_rollout_name(*name) && has_ancestor_named(path, "sessions")) {
    return InputKind::CodexSession;
  }
  if (has_ancestor_named(path, "attachments")) return InputKind::CodexAttachments;
  return std::nullopt;
}

// The parent of the nearest ancestor named `name`, or the path itself.
fs::path above_nearest(const fs::path& path, std::string_view name) {
  const std::optional<fs::path> ancestor = nearest_ancestor_named(path, name);
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
    case InputKind::CodexSession: return above_nearest(path, "sessions");
    case InputKind::CodexAttachments: return above_nearest(path, "attachments");
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
