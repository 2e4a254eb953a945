#include "core/adapter.hpp"

#include "aider/aider_adapter.hpp"
#include "claude/claude_adapter.hpp"
#include "codex/codex_adapter.hpp"
#include "gemini_cli/gemini_adapter.hpp"
#include "copilot_cli/copilot_adapter.hpp"

namespace vt {

namespace {

// The documented agents first; the full reading's own after them.
constexpr Adapter kTable[] = {
    {".codex", InputKind::CodexRoot, Provider::Codex, &codex::probe, &codex::parse_input, &codex::base_dir,
     &codex::supports_kind, &codex::detection_priority, true},
    {".claude", InputKind::ClaudeRoot, Provider::ClaudeCode, &claude::probe, &claude::parse_input,
     &claude::base_dir, &claude::supports_kind, &claude::detection_priority, true},
    {".gemini", InputKind::GeminiRoot, Provider::GeminiCli, &gemini::probe, &gemini::parse_input,
     &gemini::base_dir, &gemini::supports_kind, &gemini::detection_priority},
    {".copilot", InputKind::CopilotRoot, Provider::CopilotCli, &copilot::probe, &copilot::parse_input,
     &copilot::base_dir, &copilot::supports_kind, &copilot::detection_priority},
    {"", InputKind::AiderPlace, Provider::Aider, &aider::probe, &aider::parse_input, &aider::base_dir,
     &aider::supports_kind, &aider::detection_priority},
};
// The documented reading's two: the same, but a Claude Code root is known by
// its documented parts only.
constexpr Adapter kDocumentedTable[] = {
    kTable[0],
    {".claude", InputKind::ClaudeRoot, Provider::ClaudeCode, &claude::documented_probe, &claude::parse_input,
     &claude::base_dir, &claude::supports_kind, &claude::detection_priority, true},
};

}  // namespace

std::span<const Adapter> adapter_table(Reading reading) {
  if (reading == Reading::Full) return kTable;
  return kDocumentedTable;
}

bool has_unique_ids(Provider provider) {
  for (const Adapter& adapter : adapter_table(Reading::Full)) {
    if (adapter.provider == provider) return adapter.unique_ids;
  }
  return false;
}

const Adapter& adapter_for_kind(InputKind kind, Reading reading) {
  const std::span<const Adapter> table = adapter_table(reading);
  for (const Adapter& adapter : table.subspan(1)) {
    if (adapter.supports_kind(kind)) return adapter;
  }
  return table.front();
}

}  // namespace vt
