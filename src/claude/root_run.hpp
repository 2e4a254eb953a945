// The run over a whole `.claude` root: the history, both caches and the file
// history read in a fixed order, attachments joined to the cached files they
// name, and snapshots given the working directory of their session.
#pragma once

#include <filesystem>

#include "core/adapter.hpp"

namespace vt::claude {

Result<AdapterOutput> read_claude_root(const std::filesystem::path& root, const std::filesystem::path& base_dir,
                                       const ParseOptions& options);

}  // namespace vt::claude
