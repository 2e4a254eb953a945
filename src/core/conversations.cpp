#include "core/conversations.hpp"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace vt {

namespace {

// A file whose records make one conversation.
bool is_conversation_file(ArtifactKind kind) { return kind == ArtifactKind::Transcript; }

struct FileThread {
  std::uint64_t last_line = 0;  // of the latest event naming a session
  OptionalShared session;
  std::set<std::string_view> named;
};

struct FileKey {
  std::string_view input;
  std::string_view path;
  friend bool operator==(const FileKey&, const FileKey&) = default;
};

struct FileKeyHash {
  std::size_t operator()(const FileKey& key) const noexcept {
    return std::hash<std::string_view>{}(key.input) * 31 ^ std::hash<std::string_view>{}(key.path);
  }
};

FileKey file_of(const Event& e) {
  return {e.input ? std::string_view(*e.input) : std::string_view(), e.source.relative_path.str()};
}

void add_sorted(std::vector<std::string>& list, std::string_view session) {
  const auto at = std::lower_bound(list.begin(), list.end(), session);
  if (at == list.end() || *at != session) list.insert(at, std::string(session));
}

}  // namespace

const SessionLinks* Conversations::links_of(Provider provider, std::string_view session) const {
  const auto found = links.find(std::pair<Provider, std::string>(provider, std::string(session)));
  return found == links.end() ? nullptr : &found->second;
}

Conversations tie_conversations(const std::vector<Event>& events) {
  std::unordered_map<FileKey, FileThread, FileKeyHash> files;
  for (const Event& e : events) {
    if (!is_conversation_file(e.source.artifact_kind) || !e.session_id) continue;
    FileThread& file = files[file_of(e)];
    file.named.insert(*e.session_id);
    const std::uint64_t line = e.source.line_number.value_or(0);
    if (!file.session || line >= file.last_line) {
      file.last_line = line;
      file.session = e.session_id;
    }
  }
  Conversations out;
  out.session_of.reserve(events.size());
  for (const Event& e : events) {
    const auto file = is_conversation_file(e.source.artifact_kind) ? files.find(file_of(e)) : files.end();
    out.session_of.push_back(file != files.end() ? file->second.session : e.session_id);
  }
  // Files are visited in event order, so the links come out the same every run.
  for (const Event& e : events) {
    if (!is_conversation_file(e.source.artifact_kind)) continue;
    const auto file = files.find(file_of(e));
    if (file == files.end() || file->second.named.size() < 2) continue;
    const std::string_view own = *file->second.session;
    for (const std::string_view other : file->second.named) {
      if (other == own) continue;
      add_sorted(out.links[{e.provider, std::string(own)}].continues, other);
      add_sorted(out.links[{e.provider, std::string(other)}].continued_by, own);
    }
    file->second.named.clear();  // linked once
  }
  return out;
}

}  // namespace vt
