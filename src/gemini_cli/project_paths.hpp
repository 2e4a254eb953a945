// The project (working directory) of each Gemini CLI folder, recovered from
// what the home says: `projects.json` (`{"projects": {path: name}}`), the
// `.project_root` files of `tmp/<name>` and `history/<name>`, and the
// project's hash, which is the SHA-256 of its path as the system gave it.
// A session names its project's hash: a hash folder, or a session whose
// folder's path is unknown, gets the path whose SHA-256 it is, or the path
// of a named folder whose sessions carry the same hash.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/options.hpp"
#include "core/records.hpp"

namespace vt::gemini {

class ProjectPaths {
 public:
  // Reads `projects.json` and `history/*/.project_root` of the home (each
  // unreadable one named in a diagnostic, relative to `base_dir`).
  void read_home(const std::filesystem::path& home, const std::filesystem::path& base_dir,
                 const ParseOptions& options, std::vector<Diagnostic>& diagnostics);
  // Reads a folder's `.project_root`; `folder` names the folder.
  void read_project_root(const std::filesystem::path& file, const std::string& folder, const ParseOptions& options);
  // A session of `folder` names `project_hash`.
  void learn(const std::string& folder, const std::string& project_hash);
  // The path of a file of `folder` whose session names `project_hash` ("" when none).
  std::optional<std::string> path_for(const std::string& folder, const std::string& project_hash) const;

 private:
  void add_path(const std::string& folder, std::string path, bool from_project_root);

  std::map<std::string, std::string> by_folder_;  // folder name → path
  std::map<std::string, bool> from_project_root_;  // a folder's path came from its own `.project_root`
  std::map<std::string, std::string> by_hash_;    // SHA-256 hex of a path → the path
};

// The project folder a Gemini CLI file belongs to: the folder holding its
// `chats` folder, else its own folder.
std::filesystem::path project_folder_of(const std::filesystem::path& file);

// The `tmp` folder holding the project folder of a file (`tmp/<project>/file`,
// `tmp/<project>/chats/file`) or a folder (`tmp`, `tmp/<project>`,
// `tmp/<project>/chats`), if it lies in one; only these places count, so a
// `tmp` higher up (a system's own) is never taken for it.
std::optional<std::filesystem::path> projects_folder_of(const std::filesystem::path& path, bool is_folder);

}  // namespace vt::gemini
