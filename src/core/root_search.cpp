#include "core/root_search.hpp"

#include "core/file_kind.hpp"

namespace vt {

Result<std::vector<RootMatch>> find_roots(const std::filesystem::path& dir, bool follow_symlinks, Reading reading) {
  std::vector<RootMatch> roots;
  for (const Adapter& adapter : adapter_table(reading)) {
    // An agent without a root directory of its own keeps its files in `dir`.
    std::filesystem::path candidate = adapter.dir_name.empty() ? dir : dir / adapter.dir_name;
    // Without link following a link named like a root is passed over.
    const auto kind = file_kind(candidate, follow_symlinks);
    if (!kind || *kind != FileKind::Directory) continue;
    Result<std::optional<InputKind>> answer = adapter.probe(candidate, follow_symlinks);
    if (!answer) return fail(std::move(answer.error()));
    if (*answer == adapter.root_kind) roots.push_back({&adapter, std::move(candidate)});
  }
  return roots;
}

}  // namespace vt
