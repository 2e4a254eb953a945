// Stable event identifiers: the double SHA-256 of who, which artifact kind,
// which file, which key within it and an optional ordinal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/enums.hpp"

namespace vt {

std::string event_id_for(Provider provider, ArtifactKind kind, std::string_view relative_path,
                         std::string_view source_key,
                         std::optional<std::uint64_t> ordinal = std::nullopt);

}  // namespace vt
