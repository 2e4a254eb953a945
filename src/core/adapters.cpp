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
     &codex::supports_kind, &codex::detection_priority},
    {".claude", InputKind::ClaudeRoot, Provider::ClaudeCode, &claude::probe, &claude::parse_input,
     &claude::base_dir, &claude::supports_kind, &claude::detection_priority},
    {".gemini", InputKind::GeminiRoot, Provider::GeminiCli, &gemini::probe, &gemini::parse_input,
     &gemini::base_dir, &gemini::supports_kind, &gemini::detection_priority},
    {".copilot", InputKind::CopilotRoot, Provider::CopilotCli, &copilot::probe, &copilot::parse_input,
     &copilot::base_dir, &copilot::supports_kind, &copilot::detection_priority},
    {"", InputKind::AiderPlace, Provider::Aider, &aider::probe, &aider::parse_input, &aider::base_dir,
     &aider::supports_kind, &aider::detection_priority},
};
constexpr std::size_t kDocumentedAdapters = 2;

}  // namespace

std::span<const Adapter> adapter_table(Reading reading) {
  const std::span<const Adapter> all(kTable);
  return reading == Reading::Full ? all : all.first(kDocumentedAdapters);
}

const Adapter& adapter_for_kind(InputKind kind) {
  for (const Adapter& adapter : adapter_table(Reading::Full).subspan(1)) {
    if (adapter.supports_kind(kind)) return adapter;
  }
  return kTable[0];
}

}  // namespace vt
