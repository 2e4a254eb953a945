#include "gemini_cli/gemini_files.hpp"

#include <array>
#include <string>

#include <nlohmann/json.hpp>

#include "core/file_kind.hpp"
#include "core/path_names.hpp"
#include "jsonl/regular_file.hpp"

namespace vt::gemini {

namespace fs = std::filesystem;

namespace {

// How much of a file a look reads: a chat's first line, or the start of a
// document (its first record's keys come early).
constexpr std::size_t kFirstLineLimit = 1 << 20;
constexpr std::size_t kDocumentStart = 1 << 16;
// How far a look into an unnamed folder goes before it gives up: entries
// looked at, and folders down (`tmp`, a project's folder, `chats`).
constexpr int kEntriesLooked = 64;
constexpr int kFoldersDown = 2;

bool starts_and_ends(std::string_view name, std::string_view prefix, std::string_view suffix) {
  return name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) && name.ends_with(suffix);
}

// Up to `limit` bytes from the start of a regular file.
std::string file_start(const fs::path& file, std::size_t limit) {
  auto handle = open_regular_file(file);
  std::string text;
  if (!handle) return text;
  text.resize(limit);
  std::size_t filled = 0;
  while (filled < limit) {
    auto read = handle->read_some(text.data() + filled, limit - filled);
    if (!read || *read == 0) break;
    filled += *read;
  }
  text.resize(filled);
  return text;
}

std::string_view after_blanks(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

// Whether `key` stands quoted in the text.
bool has_key(std::string_view text, std::string_view key) {
  for (std::size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, at + 1)) {
    if (at > 0 && text[at - 1] == '"' && at + key.size() < text.size() && text[at + key.size()] == '"') return true;
  }
  return false;
}

bool is_string_member(const nlohmann::json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_string();
}

// A chat's first line: a session header, a message or an update.
bool first_line_reads(std::string_view text) {
  const std::size_t feed = text.find('\n');
  if (feed == std::string_view::npos && text.size() >= kFirstLineLimit) return false;
  const nlohmann::json value = nlohmann::json::parse(text.substr(0, feed), nullptr, false);
  if (!value.is_object()) return false;
  if (is_string_member(value, "sessionId") &&
      (is_string_member(value, "projectHash") || is_string_member(value, "startTime"))) {
    return true;
  }
  // A message: its id, role and time, and what it says (another agent's
  // event log, whose records carry a `data` member, is not a chat).
  if (is_string_member(value, "id") && is_string_member(value, "type") && value.contains("timestamp") &&
      !value.contains("data") &&
      (value.contains("content") || value.contains("toolCalls") || value.contains("thoughts"))) {
    return true;
  }
  const auto update = value.find("$set");
  return update != value.end() && update->is_object();
}

// A document that opens with `open` and names `keys` near its start.
bool document_reads(std::string_view text, std::string_view open, std::initializer_list<std::string_view> keys) {
  const std::string_view start = after_blanks(text);
  if (!start.starts_with(open)) return false;
  for (const std::string_view key : keys) {
    if (!has_key(start, key)) return false;
  }
  return true;
}

// Whether `dir`, or a folder at most `levels` below it, holds a file whose
// name and content are Gemini CLI's; every entry looked at spends `budget`.
bool holds_gemini_file(const fs::path& dir, int levels, int& budget, bool follow_symlinks) {
  std::error_code error;
  fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, error);
  for (const fs::directory_iterator end; !error && it != end && budget > 0; it.increment(error)) {
    --budget;
    const auto kind = entry_kind(*it, follow_symlinks);
    const std::optional<std::string> name = path_name(it->path());
    if (!kind || !name) continue;
    if (*kind == FileKind::Directory) {
      if (levels > 0 && holds_gemini_file(it->path(), levels - 1, budget, follow_symlinks)) return true;
      continue;
    }
    const auto role = role_of_name(*name);
    if (role && *kind == FileKind::Regular && reads_as_gemini(it->path(), *role)) return true;
  }
  return false;
}

}  // namespace

std::optional<FileRole> role_of_name(std::string_view name) {
  if (starts_and_ends(name, "session-", ".json")) return FileRole::SessionDocument;
  if (starts_and_ends(name, "session-", ".jsonl")) return FileRole::SessionLines;
  if (name == "logs.json") return FileRole::PromptLog;
  if (starts_and_ends(name, "checkpoint-", ".json")) return FileRole::Checkpoint;
  if (name == "shell_history") return FileRole::ShellHistory;
  return std::nullopt;
}

std::optional<FileRole> role_of_file(const fs::path& file) {
  const std::optional<std::string> name = path_name(file);
  if (!name) return std::nullopt;
  if (const auto role = role_of_name(*name)) return role;
  const auto fits = [&file](FileRole role) { return reads_as_gemini(file, role); };
  if (name->ends_with(".jsonl") && fits(FileRole::SessionLines)) return FileRole::SessionLines;
  if (!name->ends_with(".json")) return std::nullopt;
  for (const FileRole role : {FileRole::SessionDocument, FileRole::PromptLog, FileRole::Checkpoint}) {
    if (fits(role)) return role;
  }
  return std::nullopt;
}

bool is_gemini_name(std::string_view name) { return role_of_name(name).has_value(); }

bool reads_as_gemini(const fs::path& file, FileRole role) {
  switch (role) {
    case FileRole::SessionLines: return first_line_reads(file_start(file, kFirstLineLimit));
    case FileRole::SessionDocument:
      return document_reads(file_start(file, kDocumentStart), "{", {"sessionId", "messages"});
    case FileRole::PromptLog:
      return document_reads(file_start(file, kDocumentStart), "[", {"sessionId", "messageId"});
    case FileRole::Checkpoint:
      return document_reads(file_start(file, kDocumentStart), "[", {"role", "parts"});
    default: return false;
  }
}

bool folder_reads_as_gemini(const fs::path& dir, bool follow_symlinks) {
  int budget = kEntriesLooked;
  return holds_gemini_file(dir, kFoldersDown, budget, follow_symlinks);
}

}  // namespace vt::gemini
