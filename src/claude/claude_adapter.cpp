// STUB: replaced by the reader work.
#include "claude/claude_adapter.hpp"

namespace vt::claude {

Result<AdapterOutput> parse_input(const std::filesystem::path&, InputKind, const std::filesystem::path&,
                                  const ParseOptions&) {
  return AdapterOutput{};
}

}  // namespace vt::claude
