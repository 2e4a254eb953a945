// Classification of a path as one of the Claude Code inputs, its rating
// against the other adapter, and the directory its events' relative paths
// start from.
#include "claude/claude_adapter.hpp"

#include <array>

#include "claude/transcripts/transcript_places.hpp"
#include "core/file_kind.hpp"
#include "core/path_names.hpp"

namespace vt::claude {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kRootName = ".claude";
constexpr std::string_view kOtherRootName = ".codex";

struct CacheDir {
  std::string_view name;
  InputKind kind;
};
constexpr std::array<CacheDir, 3> kCacheDirs = {{
    {"file-history", InputKind::FileHistory},
    {"paste-cache", InputKind::PasteCache},
    {"image-cache", InputKind::ImageCache},
}};

std::optional<InputKind> cache_kind_of_name(const fs::path& path) {
  for (const CacheDir& dir : kCacheDirs) {
    if (name_is(path, dir.name)) return dir.kind;
  }
  return std::nullopt;
}

// A directory that directly holds a cache directory or a history file, or
// (when `with_transcripts`) a transcript folder.
bool looks_like_root(const fs::path& path, bool follow_symlinks, bool with_transcripts) {
  std::error_code error;
  fs::directory_iterator it(path, fs::directory_options::skip_permission_denied, error);
  if (error) return false;
  for (const fs::directory_iterator end; it != end;) {
    const fs::directory_entry& entry = *it;
    const std::optional<std::string> name = path_name(entry.path());
    if (name) {
      const bool wants_dir = *name == "paste-cache" || *name == "image-cache" ||
                             *name == "file-history";
      const bool wants_file = *name == "history.jsonl";
      const bool transcripts = with_transcripts && *name == "projects";
      if (wants_dir || wants_file || transcripts) {
        const auto kind = entry_kind(entry, follow_symlinks);
        if (kind && ((wants_dir && *kind == FileKind::Directory) ||
                     (wants_file && *kind == FileKind::Regular))) {
          return true;
        }
        if (transcripts && kind && *kind == FileKind::Directory &&
            is_transcript_folder(entry.path(), follow_symlinks)) {
          return true;
        }
      }
    }
    it.increment(error);
    if (error) break;
  }
  return false;
}

std::optional<InputKind> classify_file(const fs::path& path, bool follow_symlinks) {
  const fs::path parent = lexical_parent(path);
  if (name_is(path, "history.jsonl") && !name_is(parent, kOtherRootName)) {
    return InputKind::History;
  }
  if (const auto kind = cache_kind_of_name(parent)) return kind;
  if (name_is(lexical_parent(parent), "file-history")) return InputKind::FileHistory;
  return transcript_kind(path, false, follow_symlinks);
}

std::optional<InputKind> classify_directory(const fs::path& path, bool follow_symlinks, bool transcript_roots) {
  if (name_is(path, kOtherRootName)) return std::nullopt;
  if (const auto kind = cache_kind_of_name(path)) return kind;
  if (const auto kind = transcript_kind(path, true, follow_symlinks)) return kind;
  if (looks_like_root(path, follow_symlinks, transcript_roots)) return InputKind::ClaudeRoot;
  return std::nullopt;
}

Result<std::optional<InputKind>> classify(const fs::path& path, bool follow_symlinks, bool transcript_roots) {
  const auto kind = file_kind(path, follow_symlinks);
  if (!kind) return fail(ParseError::io(path, kind.error()));
  switch (*kind) {
    case FileKind::Directory: return classify_directory(path, follow_symlinks, transcript_roots);
    case FileKind::Regular: return classify_file(path, follow_symlinks);
    default: return std::nullopt;
  }
}

}  // namespace

Result<std::optional<InputKind>> probe(const fs::path& path, bool follow_symlinks) {
  return classify(path, follow_symlinks, true);
}

Result<std::optional<InputKind>> documented_probe(const fs::path& path, bool follow_symlinks) {
  return classify(path, follow_symlinks, false);
}

fs::path base_dir(const fs::path& path, InputKind kind) {
  switch (kind) {
    case InputKind::PasteCache:
    case InputKind::ImageCache:
    case InputKind::FileHistory: {
      const auto own = file_kind(path, false);
      const fs::path dir = own && *own == FileKind::Directory ? without_trailing_separators(path)
                                                              : lexical_parent(path);
      if (!cache_kind_of_name(dir)) return dir;
      const fs::path parent = lexical_parent(dir);
      return parent == dir ? dir : parent;
    }
    case InputKind::History: return lexical_parent(path);
    case InputKind::Transcripts:
    case InputKind::Transcript: return transcript_base_dir(path);
    default: return path;
  }
}

bool supports_kind(InputKind kind) {
  return (kind >= InputKind::ClaudeRoot && kind <= InputKind::FileHistory) || kind == InputKind::Transcripts ||
         kind == InputKind::Transcript;
}

std::uint8_t detection_priority(const fs::path& path, InputKind kind) {
  if (has_ancestor_named(path, kRootName)) return 100;
  switch (kind) {
    case InputKind::PasteCache:
    case InputKind::ImageCache:
    case InputKind::FileHistory:
    case InputKind::Transcripts:
    case InputKind::Transcript: return 80;
    case InputKind::ClaudeRoot:
    case InputKind::History: return 10;
    default: return 0;
  }
}

}  // namespace vt::claude
