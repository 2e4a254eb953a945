// Classification of a path as a Gemini CLI input, its rating against the
// other adapters, and the directory its events' relative paths start from.
// A directory named `.gemini` is a home, whatever it holds (a home holding
// only settings reads as no events and an info diagnostic); below one, every
// folder and every file of a known name is Gemini CLI's. Elsewhere (a copy)
// a file or folder is claimed only when its content reads as Gemini CLI's.
#include "core/file_kind.hpp"
#include "core/path_names.hpp"
#include "gemini_cli/gemini_adapter.hpp"
#include "gemini_cli/gemini_files.hpp"
#include "gemini_cli/project_paths.hpp"

namespace vt::gemini {

namespace fs = std::filesystem;

namespace {

std::optional<InputKind> classify_directory(const fs::path& path, bool follow_symlinks) {
  if (name_is(path, kRootName)) return InputKind::GeminiRoot;
  if (has_ancestor_named(path, kRootName)) return InputKind::GeminiFolder;
  const fs::path projects = path / std::string(kProjectsFolder);
  const auto kind = file_kind(projects, follow_symlinks);
  if (kind && *kind == FileKind::Directory && folder_reads_as_gemini(projects, follow_symlinks)) {
    return InputKind::GeminiRoot;
  }
  if (folder_reads_as_gemini(path, follow_symlinks)) return InputKind::GeminiFolder;
  return std::nullopt;
}

std::optional<InputKind> classify_file(const fs::path& path) {
  const std::optional<std::string> name = path_name(path);
  if (!name) return std::nullopt;
  if (const auto role = role_of_name(*name)) {
    if (has_ancestor_named(lexical_parent(path), kRootName) || reads_as_gemini(path, *role)) {
      return InputKind::GeminiFile;
    }
    return std::nullopt;
  }
  return role_of_file(path) ? std::optional(InputKind::GeminiFile) : std::nullopt;
}

}  // namespace

Result<std::optional<InputKind>> probe(const fs::path& path, bool follow_symlinks) {
  const auto kind = file_kind(path, follow_symlinks);
  if (!kind) return fail(ParseError::io(path, kind.error()));
  switch (*kind) {
    case FileKind::Directory: return classify_directory(path, follow_symlinks);
    case FileKind::Regular: return classify_file(path);
    default: return std::nullopt;
  }
}

fs::path base_dir(const fs::path& path, InputKind kind) {
  if (kind == InputKind::GeminiRoot) return path;
  if (auto root = nearest_ancestor_named(lexical_parent(path), kRootName)) return *root;
  if (const auto projects = projects_folder_of(path, kind == InputKind::GeminiFolder)) {
    const fs::path above = lexical_parent(*projects);
    if (above != *projects) return above;
  }
  return lexical_parent(path);
}

bool supports_kind(InputKind kind) { return kind >= InputKind::GeminiRoot && kind <= InputKind::GeminiFile; }

std::uint8_t detection_priority(const fs::path& path, InputKind kind) {
  if (has_ancestor_named(path, kRootName)) return 100;
  if (kind == InputKind::GeminiRoot) return 10;
  if (kind == InputKind::GeminiFile) {
    const std::optional<std::string> name = path_name(path);
    return name && role_of_name(*name) ? 80 : 20;
  }
  return 60;
}

}  // namespace vt::gemini
