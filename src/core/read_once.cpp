#include "core/read_once.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>

namespace vt {

namespace {

using FileId = std::pair<dev_t, ino_t>;

// The identity of each relative path an output names, looked up once.
class Identities {
 public:
  explicit Identities(const std::filesystem::path& base_dir) : base_dir_(base_dir) {}

  std::optional<FileId> of(const SharedString& relative_path) {
    if (relative_path.empty()) return std::nullopt;
    const auto [slot, added] = ids_.try_emplace(relative_path.str());
    if (added) {
      struct stat st {};
      const std::filesystem::path path = base_dir_ / relative_path.str();
      if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) slot->second = FileId{st.st_dev, st.st_ino};
    }
    return slot->second;
  }

  const std::unordered_map<std::string, std::optional<FileId>>& all() const { return ids_; }

 private:
  std::filesystem::path base_dir_;
  std::unordered_map<std::string, std::optional<FileId>> ids_;
};

}  // namespace

void FilesReadOnce::keep_first(AdapterOutput& output, const std::filesystem::path& base_dir) {
  Identities ids(base_dir);
  const auto read_before = [&](const SharedString& relative_path) {
    const std::optional<FileId> id = ids.of(relative_path);
    return id && read_.contains(*id);
  };
  std::erase_if(output.events, [&](const Event& event) { return read_before(event.source.relative_path); });
  std::erase_if(output.diagnostics, [&](const Diagnostic& diagnostic) {
    return diagnostic.source && read_before(diagnostic.source->relative_path);
  });
  for (const auto& [path, id] : ids.all()) {
    if (id) read_.insert(*id);
  }
}

}  // namespace vt
