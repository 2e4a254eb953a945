// Stable event identifiers: the double SHA-256 of who, which artifact kind,
// which file, which key within it and an optional ordinal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/enums.hpp"
#include "core/event_id_text.hpp"
#include "hash/sha256.hpp"
#include "hash/sha256_lanes.hpp"

namespace vt {

struct Event;

// Makes identifiers one after another. The part every identifier of a file
// shares (provider, kind, relative path) is hashed once, when it changes, and
// each identifier carries on from a copy of that state: a reader pays for its
// key and the second digest only, with no allocation. Owned by one reader;
// not shared between threads.
//
// A reader of many events defers them instead: `defer` keeps the last
// block(s) of the identifier's first digest and gives a placeholder, and
// `fill` computes every identifier kept, eight side by side, and writes each
// over its placeholder among the reader's events (one deferring maker per
// events vector; nothing reads an identifier before). Where the processor
// has SHA extensions, one block costs less than its share of eight lanes and
// `defer` makes the identifier at once (nothing is left to fill).
class EventIds {
 public:
  EventIds();  // the fastest way this processor has
  explicit EventIds(LaneWay way) : way_(way) {}

  EventIdText make(Provider provider, ArtifactKind kind, std::string_view relative_path,
                   std::string_view source_key, std::optional<std::uint64_t> ordinal = std::nullopt);

  EventIdText defer(Provider provider, ArtifactKind kind, std::string_view relative_path,
                    std::string_view source_key, std::optional<std::uint64_t> ordinal = std::nullopt);
  void fill(std::vector<Event>& events);

 private:
  // What is left of a deferred identifier's first digest: the state after
  // the blocks already hashed and the one or two blocks to go (then the
  // second digest's state and block; once computed, `blocks` holds the
  // identifier's text).
  struct Deferred {
    std::uint32_t state[8];
    std::uint8_t blocks[128];
    std::uint8_t block_count;
  };

  // Hashes the part shared by the identifiers of (provider, kind, path),
  // unless it is the one held.
  void keep_prefix(Provider provider, ArtifactKind kind, std::string_view relative_path);
  void compute_deferred();

  Sha256 prefix_;  // the state after "provider \0 kind \0 path \0"
  bool has_prefix_ = false;
  Provider provider_ = Provider::Unknown;
  ArtifactKind kind_ = ArtifactKind::Unknown;
  std::string path_;  // the relative path as given
  std::string material_;
  std::vector<Deferred> deferred_;
  LaneWay way_;
};

// One identifier on its own (for readers that make few).
std::string event_id_for(Provider provider, ArtifactKind kind, std::string_view relative_path,
                         std::string_view source_key,
                         std::optional<std::uint64_t> ordinal = std::nullopt);

}  // namespace vt
