#include "claude/transcripts/transcript_places.hpp"

#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "core/file_kind.hpp"
#include "core/path_names.hpp"

namespace vt::claude {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFirstLineLimit = 1 << 20;
// How far a look into an unnamed folder goes before it gives up.
constexpr int kFoldersLooked = 32;
constexpr int kFilesLookedPerFolder = 4;

bool is_jsonl(const fs::path& path) {
  const auto name = path_name(path);
  return name && name->ends_with(".jsonl");
}

// A `.jsonl` file directly in `dir` that reads as a transcript.
bool folder_holds_transcript(const fs::path& dir, bool follow_symlinks) {
  std::error_code error;
  fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, error);
  int looked = 0;
  for (const fs::directory_iterator end; !error && it != end && looked < kFilesLookedPerFolder;
       it.increment(error)) {
    if (!is_jsonl(it->path())) continue;
    const auto kind = entry_kind(*it, follow_symlinks);
    if (!kind || *kind != FileKind::Regular) continue;
    ++looked;
    if (reads_as_transcript(it->path())) return true;
  }
  return false;
}

bool is_directory(const fs::path& path, bool follow_symlinks) {
  const auto kind = file_kind(path, follow_symlinks);
  return kind && *kind == FileKind::Directory;
}

}  // namespace

bool reads_as_transcript(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::string line;
  line.reserve(4096);
  char c;
  while (line.size() < kFirstLineLimit && in.get(c) && c != '\n') line.push_back(c);
  if (line.size() >= kFirstLineLimit) return false;
  const nlohmann::json value = nlohmann::json::parse(line, nullptr, false);
  if (!value.is_object()) return false;
  const auto type = value.find("type");
  if (type == value.end() || !type->is_string()) return false;
  for (const char* key : {"sessionId", "leafUuid", "messageId"}) {
    const auto found = value.find(key);
    if (found != value.end() && found->is_string()) return true;
  }
  return false;
}

bool is_transcript_folder(const fs::path& projects, bool follow_symlinks) {
  if (name_is(lexical_parent(projects), ".claude")) return true;
  std::error_code error;
  fs::directory_iterator it(projects, fs::directory_options::skip_permission_denied, error);
  int looked = 0;
  for (const fs::directory_iterator end; !error && it != end && looked < kFoldersLooked; it.increment(error)) {
    const auto kind = entry_kind(*it, follow_symlinks);
    if (!kind || *kind != FileKind::Directory) continue;
    ++looked;
    if (folder_holds_transcript(it->path(), follow_symlinks)) return true;
  }
  return false;
}

std::optional<InputKind> transcript_kind(const fs::path& path, bool is_dir, bool follow_symlinks) {
  const fs::path parent = lexical_parent(path);
  const fs::path grandparent = lexical_parent(parent);
  if (is_dir) {
    // projects, projects/<project>, projects/<project>/<session>, .../<session>/subagents
    const fs::path* candidates[] = {&path, &parent, &grandparent};
    for (const fs::path* candidate : candidates) {
      if (candidate == &path && name_is(path, "subagents")) continue;
      if (name_is(*candidate, "projects")) return is_transcript_folder(*candidate, follow_symlinks)
                                                     ? std::optional(InputKind::Transcripts)
                                                     : std::nullopt;
    }
    if (name_is(path, "subagents") && name_is(lexical_parent(grandparent), "projects") &&
        is_transcript_folder(lexical_parent(grandparent), follow_symlinks)) {
      return InputKind::Transcripts;
    }
    return std::nullopt;
  }
  if (!is_jsonl(path)) return std::nullopt;
  // projects/<project>/<file>, projects/<project>/<session>/subagents/<file>
  const fs::path up3 = lexical_parent(grandparent);
  const fs::path up4 = lexical_parent(up3);
  if (name_is(grandparent, "projects") && is_directory(grandparent, follow_symlinks) &&
      is_transcript_folder(grandparent, follow_symlinks)) {
    return InputKind::Transcript;
  }
  if (name_is(parent, "subagents") && name_is(up4, "projects") && is_transcript_folder(up4, follow_symlinks)) {
    return InputKind::Transcript;
  }
  if (reads_as_transcript(path)) return InputKind::Transcript;
  return std::nullopt;
}

fs::path transcript_base_dir(const fs::path& path) {
  if (const auto projects = nearest_ancestor_named(path, "projects")) {
    const fs::path above = lexical_parent(*projects);
    if (above != *projects) return above;
  }
  return lexical_parent(without_trailing_separators(path));
}

}  // namespace vt::claude
