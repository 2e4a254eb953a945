// The warnings of the record level of the prompt history: all located at the
// record's line, the pasted-item ones also naming the item's key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/records.hpp"

namespace vt::claude {

inline Diagnostic history_warning(DiagnosticCode code, std::string message, const std::string& relative_path,
                                  std::uint64_t line, std::optional<std::string> key = std::nullopt) {
  return Diagnostic{code, Severity::Warning,
                    SourceRef{ArtifactKind::History, std::nullopt, relative_path, line, std::move(key)},
                    std::move(message)};
}

// "{what} expected {expected}, got {type of value}".
inline std::string type_mismatch(std::string_view what, std::string_view expected, std::string_view got) {
  std::string text(what);
  text.append(" expected ").append(expected).append(", got ").append(got);
  return text;
}

}  // namespace vt::claude
