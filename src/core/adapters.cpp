#include "core/adapter.hpp"

#include "claude/claude_adapter.hpp"
#include "codex/codex_adapter.hpp"

namespace vt {

const std::array<Adapter, 2>& adapter_table() {
  static constexpr std::array<Adapter, 2> kTable = {{
      {".codex", InputKind::CodexRoot, Provider::Codex, &codex::probe, &codex::parse_input,
       &codex::base_dir, &codex::supports_kind, &codex::detection_priority},
      {".claude", InputKind::ClaudeRoot, Provider::ClaudeCode, &claude::probe,
       &claude::parse_input, &claude::base_dir, &claude::supports_kind,
       &claude::detection_priority},
  }};
  return kTable;
}

const Adapter& adapter_for_kind(InputKind kind) {
  return adapter_table()[1].supports_kind(kind) ? adapter_table()[1] : adapter_table()[0];
}

}  // namespace vt
