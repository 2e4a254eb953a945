// STUB: replaced by the detection work.
#include "codex/codex_adapter.hpp"

namespace vt::codex {

Result<std::optional<InputKind>> probe(const std::filesystem::path&, bool) { return std::nullopt; }
std::filesystem::path base_dir(const std::filesystem::path& path, InputKind) { return path; }
bool supports_kind(InputKind) { return false; }
std::uint8_t detection_priority(const std::filesystem::path&, InputKind) { return 0; }

}  // namespace vt::codex
