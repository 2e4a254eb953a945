#include "core/root_member_links.hpp"

#include <algorithm>
#include <system_error>

namespace vt {

namespace fs = std::filesystem;

bool link_leaves_root(const fs::path& root, const fs::path& member) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(member, error)) || error) return false;
  const fs::path target = fs::canonical(member, error);
  if (error) return false;
  const fs::path home = fs::canonical(root, error);
  if (error) return false;
  auto [at_home, at_target] = std::mismatch(home.begin(), home.end(), target.begin(), target.end());
  return at_home != home.end();
}

std::optional<Diagnostic> refused_member_link(const fs::path& root, const fs::path& member, ArtifactKind kind,
                                              const ParseOptions& options,
                                              const std::function<std::string()>& relative_path) {
  if (!full_reading(options) || options.follow_symlinks || !link_leaves_root(root, member)) return std::nullopt;
  return Diagnostic{DiagnosticCode::UnreadableArtifact, Severity::Warning,
                    SourceRef{kind, std::nullopt, relative_path(), std::nullopt, std::nullopt},
                    "Link leaves its root: not read without following links"};
}

}  // namespace vt
