#include "gemini_cli/project_paths.hpp"

#include "core/file_kind.hpp"
#include "core/path_names.hpp"
#include "gemini_cli/gemini_files.hpp"
#include "hash/sha256.hpp"
#include "jsonl/json_parse.hpp"
#include "jsonl/relative_path.hpp"
#include "jsonl/whole_document.hpp"

namespace vt::gemini {

namespace fs = std::filesystem;

namespace {

// A `.project_root` holds one path; anything longer is not one.
constexpr std::uint64_t kMaxProjectRoot = 1 << 16;

void report(std::vector<Diagnostic>& diagnostics, const fs::path& file, const fs::path& base_dir,
            DiagnosticCode code, std::string message) {
  diagnostics.push_back(Diagnostic{code, Severity::Warning,
                                   SourceRef{ArtifactKind::Unknown, std::nullopt,
                                             SharedString(relative_path_for(file, base_dir)), std::nullopt,
                                             std::nullopt},
                                   std::move(message)});
}

}  // namespace

void ProjectPaths::add_path(const std::string& folder, std::string path, bool from_project_root) {
  if (path.empty()) return;
  by_hash_.try_emplace(hex_lower(sha256_of(path)), path);
  const bool own = from_project_root_[folder];
  if (from_project_root || (!own && !by_folder_.contains(folder))) {
    by_folder_[folder] = std::move(path);
    from_project_root_[folder] = own || from_project_root;
  }
}

void ProjectPaths::read_home(const fs::path& home, const fs::path& base_dir, const ParseOptions& options,
                             std::vector<Diagnostic>& diagnostics) {
  const fs::path projects = home / std::string(kProjectsFile);
  const auto kind = file_kind(projects, options.follow_symlinks);
  if (kind && *kind == FileKind::Regular) {
    auto document = read_whole_document(projects, options);
    if (!document) {
      report(diagnostics, projects, base_dir, DiagnosticCode::UnreadableArtifact,
             "Cannot read the project list: " + document.error().text());
    } else if (document->failure || document->too_large) {
      report(diagnostics, projects, base_dir, DiagnosticCode::UnreadableArtifact,
             "Cannot read the project list: " +
                 (document->failure ? *document->failure : std::string("larger than max_line_size")));
    } else if (auto value = parse_json_text(document->text); !value) {
      report(diagnostics, projects, base_dir, DiagnosticCode::InvalidJson, "Invalid JSON: " + value.error());
    } else {
      const auto list = value->is_object() ? value->find("projects") : value->end();
      if (list == value->end() || !list->is_object()) {
        report(diagnostics, projects, base_dir, DiagnosticCode::InvalidFieldType,
               "Field 'projects' of the project list is not an object.");
      } else {
        for (const auto& [path, name] : list->items()) {
          if (name.is_string()) add_path(name.get<std::string>(), path, false);
        }
      }
    }
  }
  std::error_code error;
  fs::directory_iterator it(home / std::string(kHistoryFolder), fs::directory_options::skip_permission_denied, error);
  for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
    const auto entry = entry_kind(*it, options.follow_symlinks);
    const auto name = path_name(it->path());
    if (!entry || *entry != FileKind::Directory || !name) continue;
    const fs::path root_file = it->path() / std::string(kProjectRootFile);
    const auto own = file_kind(root_file, options.follow_symlinks);
    if (own && *own == FileKind::Regular) read_project_root(root_file, *name, options);
  }
}

void ProjectPaths::read_project_root(const fs::path& file, const std::string& folder, const ParseOptions& options) {
  ParseOptions bounded = options;
  bounded.max_line_size = kMaxProjectRoot;
  auto document = read_whole_document(file, bounded);
  if (!document || document->failure || document->too_large) return;
  std::string path = std::move(document->text);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  add_path(folder, std::move(path), true);
}

void ProjectPaths::learn(const std::string& folder, const std::string& project_hash) {
  if (project_hash.empty() || by_hash_.contains(project_hash)) return;
  const auto known = by_folder_.find(folder);
  if (known != by_folder_.end()) by_hash_[project_hash] = known->second;
}

std::optional<std::string> ProjectPaths::path_for(const std::string& folder, const std::string& project_hash) const {
  if (!project_hash.empty()) {
    if (const auto found = by_hash_.find(project_hash); found != by_hash_.end()) return found->second;
  }
  if (const auto found = by_folder_.find(folder); found != by_folder_.end()) return found->second;
  if (const auto found = by_hash_.find(folder); found != by_hash_.end()) return found->second;
  return std::nullopt;
}

fs::path project_folder_of(const fs::path& file) {
  const fs::path parent = lexical_parent(file);
  return name_is(parent, kChatsFolder) ? lexical_parent(parent) : parent;
}

std::optional<fs::path> projects_folder_of(const fs::path& path, bool is_folder) {
  const fs::path project = is_folder ? (name_is(path, kChatsFolder) ? lexical_parent(path) : path)
                                     : project_folder_of(path);
  if (is_folder && name_is(project, kProjectsFolder)) return project;
  const fs::path above = lexical_parent(project);
  if (above != project && name_is(above, kProjectsFolder)) return above;
  return std::nullopt;
}

}  // namespace vt::gemini
