// Stable event identifiers: the double SHA-256 of who, which artifact kind,
// which file, which key within it and an optional ordinal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/enums.hpp"
#include "core/event_id_text.hpp"
#include "hash/sha256.hpp"

namespace vt {

// Makes identifiers one after another. The part every identifier of a file
// shares (provider, kind, relative path) is hashed once, when it changes, and
// each identifier carries on from a copy of that state: a reader pays for its
// key and the second digest only, with no allocation. Owned by one reader;
// not shared between threads.
class EventIds {
 public:
  EventIdText make(Provider provider, ArtifactKind kind, std::string_view relative_path,
                   std::string_view source_key, std::optional<std::uint64_t> ordinal = std::nullopt);

 private:
  void start_prefix(Provider provider, ArtifactKind kind, std::string_view relative_path);

  Sha256 prefix_;  // the state after "provider \0 kind \0 path \0"
  bool has_prefix_ = false;
  Provider provider_ = Provider::Unknown;
  ArtifactKind kind_ = ArtifactKind::Unknown;
  std::string path_;  // the relative path as given
  std::string material_;
};

// One identifier on its own (for readers that make few).
std::string event_id_for(Provider provider, ArtifactKind kind, std::string_view relative_path,
                         std::string_view source_key,
                         std::optional<std::uint64_t> ordinal = std::nullopt);

}  // namespace vt
