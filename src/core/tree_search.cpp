#include "core/tree_search.hpp"

#include <utility>
#include <vector>

#include "core/file_kind.hpp"
#include "core/path_names.hpp"

namespace vt {

namespace fs = std::filesystem;

bool tree_has_file(const fs::path& dir, unsigned max_depth,
                   const std::function<bool(std::string_view)>& accept) {
  if (max_depth == 0) return false;
  // Directories still to list, with the depth of their entries.
  std::vector<std::pair<fs::path, unsigned>> pending;
  pending.emplace_back(dir, 1);
  while (!pending.empty()) {
    auto [current, depth] = std::move(pending.back());
    pending.pop_back();
    std::error_code error;
    fs::directory_iterator it(current, fs::directory_options::skip_permission_denied, error);
    if (error) continue;
    for (const fs::directory_iterator end; it != end;) {
      const fs::directory_entry& entry = *it;
      const auto kind = entry_kind(entry, false);
      if (kind && *kind == FileKind::Regular) {
        const auto name = path_name(entry.path());
        if (name && accept(*name)) return true;
      } else if (kind && *kind == FileKind::Directory && depth < max_depth) {
        pending.emplace_back(entry.path(), depth + 1);
      }
      it.increment(error);
      if (error) break;
    }
  }
  return false;
}

}  // namespace vt
