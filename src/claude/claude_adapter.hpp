// The Claude Code adapter's five operations (its `.claude` root, prompt
// history, paste and image caches, file-history snapshots).
#pragma once

#include "core/adapter.hpp"

namespace vt::claude {

// The full reading's probe: a folder of session transcripts also makes a
// directory a root.
Result<std::optional<InputKind>> probe(const std::filesystem::path& path, bool follow_symlinks);
// The documented reading's: a root holds a history file or a cache or
// file-history directory; transcripts are read only when named themselves.
Result<std::optional<InputKind>> documented_probe(const std::filesystem::path& path, bool follow_symlinks);
Result<AdapterOutput> parse_input(const std::filesystem::path& path, InputKind kind,
                                  const std::filesystem::path& base_dir,
                                  const ParseOptions& options);
std::filesystem::path base_dir(const std::filesystem::path& path, InputKind kind);
bool supports_kind(InputKind kind);
std::uint8_t detection_priority(const std::filesystem::path& path, InputKind kind);

}  // namespace vt::claude
