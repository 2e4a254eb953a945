// Reading of a Claude Code input of a given kind.
//
// NOT YET BUILT: the Claude Code readers (prompt history, paste and image
// caches, file-history snapshots) are still to be written. Until then every
// input of this adapter's own kinds reads as empty: no events and no
// diagnostics. Only the refusal of a foreign kind is in place.
#include "claude/claude_adapter.hpp"

#include <string>

namespace vt::claude {

Result<AdapterOutput> parse_input(const std::filesystem::path&, InputKind kind,
                                  const std::filesystem::path&, const ParseOptions&) {
  if (!supports_kind(kind)) {
    return fail(ParseError::message("Claude Code adapter does not support input kind " +
                                    std::string(input_kind_name(kind)) + "."));
  }
  return AdapterOutput{};
}

}  // namespace vt::claude
