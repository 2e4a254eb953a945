// Where Copilot CLI keeps its files below `~/.copilot`, as names and shapes:
// - `history-session-state/session_<id>_<epoch ms>.json`: legacy documents;
// - `session-state/<id>.jsonl`: flat event logs;
// - `session-state/<id>/`: a session folder (`events.jsonl`, `workspace.yaml`,
//   `checkpoints/`, `rewind-snapshots/index.json`);
// - `command-history-state.json`: the prompt history.
// Anything else there (configuration, logs, databases, lock files) is not
// read. Nothing here opens a file.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "core/records.hpp"

namespace vt::copilot {

inline constexpr std::string_view kRootName = ".copilot";
inline constexpr std::string_view kSessionsName = "session-state";
inline constexpr std::string_view kLegacyName = "history-session-state";
inline constexpr std::string_view kHistoryName = "command-history-state.json";
inline constexpr std::string_view kEventsName = "events.jsonl";
inline constexpr std::string_view kWorkspaceName = "workspace.yaml";

// One unit of reading: a session (folder, flat log or legacy document), or
// one file of a session folder named on its own.
struct SessionInput {
  enum class Shape { Folder, FlatLog, Legacy, FolderFile };
  std::filesystem::path path;
  Shape shape;
};

bool is_sessions_dir_name(std::string_view name);
// A folder that holds a session's event log or workspace file.
bool is_session_folder(const std::filesystem::path& dir, bool follow_symlinks);

// The sessions of a `session-state` or `history-session-state` folder, in
// name order; what cannot be listed is reported in `diagnostics`.
std::vector<SessionInput> list_sessions(const std::filesystem::path& dir, const std::filesystem::path& base_dir,
                                        bool follow_symlinks, std::vector<Diagnostic>& diagnostics);

// What a path named on its own is, when it is one session or one file of
// one: absent for anything else.
std::optional<SessionInput> session_input(const std::filesystem::path& path, bool follow_symlinks);

// The nearest of the path and its ancestors that is a sessions folder.
std::optional<std::filesystem::path> nearest_sessions_dir(const std::filesystem::path& path);

}  // namespace vt::copilot
