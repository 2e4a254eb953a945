// Root members that are links leaving their root. A root's `projects`,
// `sessions`, caches or history may be a link, and the documented reading
// follows such a member wherever it points. The full reading does not follow
// one whose target lies outside the root unless links are to be followed: a
// tree from another machine (an archive of a host's home) may link a member
// to anything on the machine that reads it. Such a member is reported and
// passed over.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/options.hpp"
#include "core/records.hpp"

namespace vt {

// Whether `member` (inside `root`) is a link whose target, all links
// resolved, is not `root` itself or below it. A link that cannot be resolved
// does not count (its reader reports it).
bool link_leaves_root(const std::filesystem::path& root, const std::filesystem::path& member);

// For a member that the run's options do not let it follow out of its root:
// the warning that takes its place (`relative_path` names the member).
// Nothing when the member may be read.
std::optional<Diagnostic> refused_member_link(const std::filesystem::path& root, const std::filesystem::path& member,
                                              ArtifactKind kind, const ParseOptions& options,
                                              const std::function<std::string()>& relative_path);

}  // namespace vt
