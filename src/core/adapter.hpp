// The contract between the parse driver and an agent's reader: five
// operations per adapter, and the constant table of the two adapters
// (Codex first: roots are searched, candidates listed and events
// concatenated in this order).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "core/records.hpp"

namespace vt {

// What one adapter read: events with provisional sequences, diagnostics in
// the order met.
struct AdapterOutput {
  std::vector<Event> events;
  std::vector<Diagnostic> diagnostics;
};

struct Adapter {
  std::string_view dir_name;  // ".codex" / ".claude"
  InputKind root_kind;
  Provider provider;
  Result<std::optional<InputKind>> (*probe)(const std::filesystem::path& path, bool follow_symlinks);
  Result<AdapterOutput> (*parse_input)(const std::filesystem::path& path, InputKind kind,
                                       const std::filesystem::path& base_dir,
                                       const ParseOptions& options);
  std::filesystem::path (*base_dir)(const std::filesystem::path& path, InputKind kind);
  bool (*supports_kind)(InputKind kind);
  std::uint8_t (*detection_priority)(const std::filesystem::path& path, InputKind kind);
};

const std::array<Adapter, 2>& adapter_table();
// The table entry owning `kind` (Codex for any kind Claude Code does not support).
const Adapter& adapter_for_kind(InputKind kind);

}  // namespace vt
