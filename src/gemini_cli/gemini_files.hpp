// The files of a Gemini CLI home (`~/.gemini`) by name, and the look into a
// file that tells whether its content is Gemini CLI's when its place does
// not say so (a copy outside any `.gemini`):
//   tmp/<project>/chats/session-<time>-<id8>.json   one chat session, one JSON document
//   tmp/<project>/chats/session-<time>-<id8>.jsonl  one chat session, appended line by line
//   tmp/<project>/logs.json                         the prompt log (a JSON array)
//   tmp/<project>/checkpoint-<tag>.json             a saved chat (a JSON array of contents)
//   tmp/<project>/shell_history                     shell-mode commands, one per line
//   tmp/<project>/.project_root, history/<project>/.project_root, projects.json
//                                                   the project's path (no events)
// where <project> is the SHA-256 of the project's path or, in newer homes,
// a name that `projects.json` gives it.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace vt::gemini {

inline constexpr std::string_view kRootName = ".gemini";
inline constexpr std::string_view kProjectsFolder = "tmp";
inline constexpr std::string_view kChatsFolder = "chats";
inline constexpr std::string_view kProjectRootFile = ".project_root";
inline constexpr std::string_view kProjectsFile = "projects.json";
inline constexpr std::string_view kHistoryFolder = "history";

enum class FileRole { SessionDocument, SessionLines, PromptLog, Checkpoint, ShellHistory };

// The role a file's name gives it, if any.
std::optional<FileRole> role_of_name(std::string_view name);
// The role of a file named by a caller: by its name, else (a copy renamed)
// by what its content reads as.
std::optional<FileRole> role_of_file(const std::filesystem::path& file);
// A name `role_of_name` knows (the walk's filter).
bool is_gemini_name(std::string_view name);

// Whether the file's first bytes read as Gemini CLI's for its role: a chat
// session's header or message, a prompt log's entry, a saved chat's content.
// An empty prompt log or a shell history says nothing either way (false).
bool reads_as_gemini(const std::filesystem::path& file, FileRole role);

// Whether a folder below no `.gemini` holds, at most two levels down, a
// file whose name and content are Gemini CLI's.
bool folder_reads_as_gemini(const std::filesystem::path& dir, bool follow_symlinks);

}  // namespace vt::gemini
