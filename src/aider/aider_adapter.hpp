// The Aider adapter's five operations (full reading only): the directory
// holding aider's files (probed itself: it has no root directory of its
// own), or one of those files.
#pragma once

#include "core/adapter.hpp"

namespace vt::aider {

Result<std::optional<InputKind>> probe(const std::filesystem::path& path, bool follow_symlinks);
Result<AdapterOutput> parse_input(const std::filesystem::path& path, InputKind kind,
                                  const std::filesystem::path& base_dir, const ParseOptions& options);
std::filesystem::path base_dir(const std::filesystem::path& path, InputKind kind);
bool supports_kind(InputKind kind);
std::uint8_t detection_priority(const std::filesystem::path& path, InputKind kind);

}  // namespace vt::aider
