// Stable event identifiers: the double SHA-256 of who, which artifact kind,
// which file, which key within it and an optional ordinal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/enums.hpp"
#include "hash/sha256.hpp"

namespace vt {

// Makes identifiers one after another with one digest context and one
// buffer, so a reader pays no allocation or algorithm lookup per event but
// the identifier's own text. Owned by one reader; not shared between threads.
class EventIds {
 public:
  std::string make(Provider provider, ArtifactKind kind, std::string_view relative_path,
                   std::string_view source_key, std::optional<std::uint64_t> ordinal = std::nullopt);

 private:
  Sha256 digest_;
  std::string material_;
};

// One identifier on its own (for readers that make few).
std::string event_id_for(Provider provider, ArtifactKind kind, std::string_view relative_path,
                         std::string_view source_key,
                         std::optional<std::uint64_t> ordinal = std::nullopt);

}  // namespace vt
