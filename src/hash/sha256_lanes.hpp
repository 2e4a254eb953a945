// SHA-256 block compressions of several independent messages side by side:
// up to eight states, each advanced over its own 64-byte block in one call
// (eight 32-bit lanes of AVX2 registers where the processor has them, one
// state after another otherwise). Event identifiers are short messages of one
// or two blocks each, hashed twice: a lone block costs a full pass of a
// compression built for long streams, eight in lanes cost little more than one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vt {

inline constexpr std::size_t kSha256Lanes = 8;
inline constexpr std::uint32_t kSha256Initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// How the lanes are computed: in plain code one after another, eight side by
// side in AVX2 registers, or one after another by OpenSSL's block function
// with the processor's SHA extensions (faster per block than eight AVX2 lanes).
enum class LaneWay { Plain, Avx2, ShaExtensions };

// The fastest way this processor has.
LaneWay best_lane_way();
// Whether this processor can run `way`.
bool lane_way_available(LaneWay way);

// Advances `states[i]` over the 64 bytes at `blocks[i]` for every i < lanes
// (1 to kSha256Lanes; more are done kSha256Lanes at a time), the fastest way
// unless told (a way the processor has).
void sha256_compress_lanes(std::uint32_t* const states[], const std::uint8_t* const blocks[], std::size_t lanes,
                           LaneWay way = best_lane_way());

}  // namespace vt
