// The documented bounds that keep hostile input from costing more than its
// evidence is worth: how far a compressed file may expand, and how many
// matching files an ambiguous cache reference lists by name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vt {

// A compressed rollout decompresses to at most this many bytes...
inline constexpr std::uint64_t kMaxDecompressedSize = std::uint64_t{4} << 30;  // 4 GiB
// ...and to at most this many times its stored size; past either bound the
// file ends with one diagnostic, keeping the lines read before.
inline constexpr std::uint64_t kMaxDecompressionRatio = 100;

// An ambiguous cache reference names this many of its matching files and
// tells how many more there were.
inline constexpr std::size_t kMaxListedMatches = 10;

}  // namespace vt
