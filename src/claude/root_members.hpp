// The members of a `.claude` root as the root run sees them: which of
// history.jsonl, paste-cache, image-cache, file-history and projects are
// there to read, and which are links out of the root not to be followed.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "core/file_kind.hpp"
#include "core/options.hpp"
#include "core/records.hpp"

namespace vt::claude {

// The kind of root member `path`, links followed when `follow_symlinks` is
// set. A member that is absent gives nothing; one that is there but cannot be
// resolved (a dangling link, a loop, no permission) gives nothing and a
// warning in `diagnostics`, so that what was on disk is not passed over in
// silence.
std::optional<FileKind> member_kind(const std::filesystem::path& path, bool follow_symlinks,
                                    const std::filesystem::path& base_dir, ArtifactKind kind,
                                    std::vector<Diagnostic>& diagnostics);

// Whether root member `member` is a link out of `root` that the run may not
// follow (see core/root_member_links.hpp); its warning then goes to
// `diagnostics`.
bool refused_link(const std::filesystem::path& root, const std::filesystem::path& member, ArtifactKind kind,
                  const std::filesystem::path& base_dir, const ParseOptions& options,
                  std::vector<Diagnostic>& diagnostics);

}  // namespace vt::claude
