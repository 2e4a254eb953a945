// Reading of a Claude Code input of a given kind.
//
// NOT YET BUILT: the caches, the file history and the root run are still to
// be written. Until then those kinds read as empty: no events and no
// diagnostics. The prompt history and the refusal of a foreign kind are in
// place.
#include "claude/claude_adapter.hpp"

#include <string>

#include "claude/history/claude_history.hpp"

namespace vt::claude {

Result<AdapterOutput> parse_input(const std::filesystem::path& path, InputKind kind,
                                  const std::filesystem::path& base_dir, const ParseOptions& options) {
  if (!supports_kind(kind)) {
    return fail(ParseError::message("Claude Code adapter does not support input kind " +
                                    std::string(input_kind_name(kind)) + "."));
  }
  switch (kind) {
    case InputKind::History: {
      auto records = read_claude_history(path, base_dir, options);
      if (!records) return fail(std::move(records.error()));
      return AdapterOutput{std::move(records->events), std::move(records->diagnostics)};
    }
    default:
      return AdapterOutput{};
  }
}

}  // namespace vt::claude
