// STUB: replaced by the reader work.
#include "codex/codex_adapter.hpp"

namespace vt::codex {

Result<AdapterOutput> parse_input(const std::filesystem::path&, InputKind, const std::filesystem::path&,
                                  const ParseOptions&) {
  return AdapterOutput{};
}

}  // namespace vt::codex
