// Reading a Gemini CLI input of a given kind: a whole `.gemini` home (the
// files under `tmp`), a folder below one, or one file. The files are read
// each by one thread and joined in path order; then copies are marked
// across them and every event gets its project's path. A home or folder
// holding no session, prompt log or saved chat (only settings or
// credentials, which are never read) gives an info diagnostic and no event.
#include <set>
#include <string>

#include "core/append_moved.hpp"
#include "core/file_kind.hpp"
#include "core/file_walk.hpp"
#include "core/parallel_files.hpp"
#include "core/path_names.hpp"
#include "gemini_cli/copies.hpp"
#include "gemini_cli/gemini_adapter.hpp"
#include "gemini_cli/project_paths.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::gemini {

namespace fs = std::filesystem;

namespace {

struct Plan {
  std::vector<std::pair<fs::path, FileRole>> files;  // in path order
  std::vector<Diagnostic> diagnostics;               // of the walk
  std::optional<fs::path> home;                      // the `.gemini` the input lies in
};

bool is_directory(const fs::path& path, bool follow_symlinks) {
  const auto kind = file_kind(path, follow_symlinks);
  return kind && *kind == FileKind::Directory;
}

bool is_regular(const fs::path& path, bool follow_symlinks) {
  const auto kind = file_kind(path, follow_symlinks);
  return kind && *kind == FileKind::Regular;
}

// A name the walk looks at: a Gemini CLI file's, or a chat's of any name
// (a sub-agent's chat, in its session's folder under `chats`).
bool is_looked_at(std::string_view name) {
  return is_gemini_name(name) || name.ends_with(".json") || name.ends_with(".jsonl");
}

// The role of a file named otherwise below a `chats` folder, by its content.
std::optional<FileRole> chat_role(const fs::path& file) {
  const fs::path folder = file.parent_path();
  if (path_name(folder) != "chats" && path_name(folder.parent_path()) != "chats") return std::nullopt;
  const auto role = role_of_file(file);
  return role == FileRole::SessionLines || role == FileRole::SessionDocument ? role : std::nullopt;
}

// Every Gemini CLI file below `dir`: by name, or a chat below `chats`.
void walk(const fs::path& dir, const fs::path& base_dir, const ParseOptions& options, Plan& plan) {
  WalkResult walked = walk_regular_files(dir, options.follow_symlinks, &is_looked_at, options.cancel);
  for (WalkFailure& failure : walked.failures) {
    plan.diagnostics.push_back(Diagnostic{
        DiagnosticCode::UnreadableArtifact, failure.already_read ? Severity::Warning : Severity::Error,
        SourceRef{ArtifactKind::GeminiSession, std::nullopt, relative_path_for(failure.path, base_dir), std::nullopt,
                  std::nullopt},
        "Cannot traverse Gemini CLI folder: " + std::move(failure.detail)});
  }
  for (fs::path& file : walked.files) {
    const auto name = path_name(file);
    auto role = name ? role_of_name(*name) : std::nullopt;
    if (!role) role = chat_role(file);
    if (role) plan.files.emplace_back(std::move(file), *role);
  }
}

// The home an input lies in: its nearest `.gemini`, else the folder above
// its `tmp` when that holds the project list.
std::optional<fs::path> home_of(const fs::path& path, bool is_folder, bool follow_symlinks) {
  if (auto root = nearest_ancestor_named(path, kRootName)) return root;
  if (const auto projects = projects_folder_of(path, is_folder)) {
    const fs::path above = lexical_parent(*projects);
    if (above != *projects && is_regular(above / std::string(kProjectsFile), follow_symlinks)) return above;
  }
  return std::nullopt;
}

Result<AdapterOutput> read_planned(Plan plan, const fs::path& place, const fs::path& base_dir,
                                   const ParseOptions& options) {
  AdapterOutput out;
  out.diagnostics = std::move(plan.diagnostics);
  ProjectPaths paths;
  if (plan.home) paths.read_home(*plan.home, base_dir, options, out.diagnostics);
  std::set<fs::path> project_folders;
  for (const auto& [file, role] : plan.files) project_folders.insert(project_folder_of(file));
  for (const fs::path& folder : project_folders) {
    const fs::path root_file = folder / std::string(kProjectRootFile);
    if (is_regular(root_file, options.follow_symlinks)) {
      paths.read_project_root(root_file, path_name(folder).value_or(""), options);
    }
  }

  auto reads = read_each<Result<FileRead>>(
      plan.files.size(), options.threads,
      [&](std::size_t i) { return read_gemini_file(plan.files[i].first, plan.files[i].second, base_dir, options); },
      [](const Result<FileRead>& read) { return !read.has_value(); });
  std::vector<ReadFile> files;
  files.reserve(plan.files.size());
  for (std::size_t i = 0; i < reads.size(); ++i) {
    if (!*reads[i]) return fail(std::move(reads[i]->error()));
    const std::string folder = path_name(project_folder_of(plan.files[i].first)).value_or("");
    files.push_back(ReadFile{std::move(plan.files[i].first), plan.files[i].second, folder, std::move(**reads[i])});
    reads[i].reset();
  }
  for (const ReadFile& file : files) paths.learn(file.folder, file.read.project_hash);
  mark_copies(files);

  std::size_t total = 0;
  for (const ReadFile& file : files) total += file.read.records.events.size();
  out.events.reserve(total);
  for (ReadFile& file : files) {
    const OptionalShared directory(paths.path_for(file.folder, file.read.project_hash));
    std::vector<Event> events = std::move(file.read.records.events);  // freed once joined
    for (Event& event : events) {
      event.working_directory = directory;
      out.events.push_back(std::move(event));
    }
    append_moved(out.diagnostics, std::move(file.read.records.diagnostics));
  }
  if (files.empty()) {
    out.diagnostics.push_back(Diagnostic{
        DiagnosticCode::UnknownRecord, Severity::Info,
        SourceRef{ArtifactKind::Unknown, std::nullopt, relative_path_for(place, base_dir), std::nullopt, std::nullopt},
        "No Gemini CLI session, prompt log or saved chat here (settings and credentials are not read)."});
  }
  return out;
}

}  // namespace

Result<FileRead> read_gemini_file(const fs::path& path, FileRole role, const fs::path& base_dir,
                                  const ParseOptions& options) {
  switch (role) {
    case FileRole::SessionDocument: return read_session_document(path, base_dir, options);
    case FileRole::SessionLines: return read_session_lines(path, base_dir, options);
    case FileRole::PromptLog: return read_prompt_log(path, base_dir, options);
    case FileRole::Checkpoint: return read_checkpoint(path, base_dir, options);
    case FileRole::ShellHistory: return read_shell_history(path, base_dir, options);
  }
  return fail(ParseError::message("Unknown Gemini CLI file role."));
}

Result<AdapterOutput> parse_input(const fs::path& path, InputKind kind, const fs::path& base_dir,
                                  const ParseOptions& options) {
  Plan plan;
  switch (kind) {
    case InputKind::GeminiRoot: {
      plan.home = path;
      const fs::path projects = path / std::string(kProjectsFolder);
      if (is_directory(projects, options.follow_symlinks)) walk(projects, base_dir, options, plan);
      break;
    }
    case InputKind::GeminiFolder:
      plan.home = home_of(path, true, options.follow_symlinks);
      walk(path, base_dir, options, plan);
      break;
    case InputKind::GeminiFile: {
      const auto role = role_of_file(path);
      if (!role) {
        return fail(ParseError::message("Not a Gemini CLI file: " + relative_path_for(path, base_dir) + "."));
      }
      plan.home = home_of(path, false, options.follow_symlinks);
      plan.files.emplace_back(path, *role);
      break;
    }
    default:
      return fail(ParseError::message("Gemini CLI adapter does not support input kind " +
                                      std::string(input_kind_name(kind)) + "."));
  }
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  return read_planned(std::move(plan), path, base_dir, options);
}

}  // namespace vt::gemini
