// Reading Copilot CLI inputs: a whole `.copilot` root (its sessions of every
// generation, then its command history matched to them), a sessions folder,
// one session, or the command history alone. Sessions are read each by one
// thread and joined in path order. A file of a root that cannot be opened
// is a diagnostic; a file named on its own that cannot be opened ends the run.
#pragma once

#include <filesystem>

#include "copilot_cli/copilot_places.hpp"
#include "core/adapter.hpp"

namespace vt::copilot {

Result<AdapterOutput> read_root(const std::filesystem::path& root, const std::filesystem::path& base_dir,
                                const ParseOptions& options);
Result<AdapterOutput> read_sessions_dir(const std::filesystem::path& dir, const std::filesystem::path& base_dir,
                                        const ParseOptions& options);
Result<AdapterOutput> read_session(const SessionInput& input, const std::filesystem::path& base_dir,
                                   const ParseOptions& options);
Result<AdapterOutput> read_history_alone(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                         const ParseOptions& options);

}  // namespace vt::copilot
