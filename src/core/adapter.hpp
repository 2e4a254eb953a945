// The contract between the parse driver and an agent's reader: five
// operations per adapter, and the constant table of the adapters (Codex
// first: roots are searched, candidates listed and events concatenated in
// this order). The documented reading knows the first two (probing a root
// by its documented parts only); the full reading adds the agents beyond the
// documented layout after them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
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
  // The root's directory name (".codex" / ".claude"); empty for an agent
  // whose place is the directory holding its files (probed itself).
  std::string_view dir_name;
  InputKind root_kind;
  Provider provider;
  Result<std::optional<InputKind>> (*probe)(const std::filesystem::path& path, bool follow_symlinks);
  Result<AdapterOutput> (*parse_input)(const std::filesystem::path& path, InputKind kind,
                                       const std::filesystem::path& base_dir,
                                       const ParseOptions& options);
  std::filesystem::path (*base_dir)(const std::filesystem::path& path, InputKind kind);
  bool (*supports_kind)(InputKind kind);
  std::uint8_t (*detection_priority)(const std::filesystem::path& path, InputKind kind);
  // Whether the agent's record, message and call ids are unique, so that the
  // full reading's copy pass takes a repeated one for a copy. An agent whose
  // reader marks its own copies leaves this off.
  bool unique_ids = false;
};

// Whether the copy pass judges `provider`'s events by their ids.
bool has_unique_ids(Provider provider);

// The adapters a reading knows, in table order.
std::span<const Adapter> adapter_table(Reading reading = Reading::Documented);
// The entry of the reading's table owning `kind` (Codex for any kind no
// other adapter of that reading supports).
const Adapter& adapter_for_kind(InputKind kind, Reading reading = Reading::Documented);

}  // namespace vt
