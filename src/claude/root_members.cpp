#include "claude/root_members.hpp"

#include "core/path_text.hpp"
#include "core/root_member_links.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::claude {

std::optional<FileKind> member_kind(const std::filesystem::path& path, bool follow_symlinks,
                                    const std::filesystem::path& base_dir, ArtifactKind kind,
                                    std::vector<Diagnostic>& diagnostics) {
  const auto found = file_kind(path, follow_symlinks);
  if (found) return *found;
  const auto own = file_kind(path, false);
  if (!own) return std::nullopt;  // not there at all: a part the root does not have
  diagnostics.push_back(Diagnostic{
      DiagnosticCode::UnreadableArtifact, Severity::Warning,
      SourceRef{kind, std::nullopt, relative_path_for(path, base_dir), std::nullopt, std::nullopt},
      "Cannot read metadata: " + os_error_text(found.error())});
  return std::nullopt;
}

bool refused_link(const std::filesystem::path& root, const std::filesystem::path& member, ArtifactKind kind,
                  const std::filesystem::path& base_dir, const ParseOptions& options,
                  std::vector<Diagnostic>& diagnostics) {
  auto refused = refused_member_link(root, member, kind, options, [&] { return relative_path_for(member, base_dir); });
  if (refused) diagnostics.push_back(std::move(*refused));
  return refused.has_value();
}

}  // namespace vt::claude
