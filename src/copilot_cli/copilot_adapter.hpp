// The Copilot CLI adapter's five operations (full reading only): its
// `.copilot` root, a sessions folder, one session or one of its files, and
// the command history.
#pragma once

#include "core/adapter.hpp"

namespace vt::copilot {

Result<std::optional<InputKind>> probe(const std::filesystem::path& path, bool follow_symlinks);
Result<AdapterOutput> parse_input(const std::filesystem::path& path, InputKind kind,
                                  const std::filesystem::path& base_dir, const ParseOptions& options);
std::filesystem::path base_dir(const std::filesystem::path& path, InputKind kind);
bool supports_kind(InputKind kind);
std::uint8_t detection_priority(const std::filesystem::path& path, InputKind kind);

}  // namespace vt::copilot
