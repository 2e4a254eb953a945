#include "hash/sha256_lanes.hpp"

#include <algorithm>

#include "hash/sha256.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VT_LANES_X86 1
#endif

namespace vt {

namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

std::uint32_t big_endian_word(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

#ifdef VT_LANES_X86

#define VT_AVX2 __attribute__((target("avx2")))
// The vector helpers are inlined into the one AVX2 function: no call passes
// a vector across an ABI boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

VT_AVX2 inline __m256i add(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
VT_AVX2 inline __m256i ror(__m256i x, int n) {
  return _mm256_or_si256(_mm256_srli_epi32(x, n), _mm256_slli_epi32(x, 32 - n));
}

// Rows of eight 32-bit words become columns: row i's word j goes to row j's
// lane i (lanes' states and blocks in, words across lanes out; and back).
VT_AVX2 inline void transpose(__m256i r[8]) {
  const __m256i t0 = _mm256_unpacklo_epi32(r[0], r[1]), t1 = _mm256_unpackhi_epi32(r[0], r[1]);
  const __m256i t2 = _mm256_unpacklo_epi32(r[2], r[3]), t3 = _mm256_unpackhi_epi32(r[2], r[3]);
  const __m256i t4 = _mm256_unpacklo_epi32(r[4], r[5]), t5 = _mm256_unpackhi_epi32(r[4], r[5]);
  const __m256i t6 = _mm256_unpacklo_epi32(r[6], r[7]), t7 = _mm256_unpackhi_epi32(r[6], r[7]);
  const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
  const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
  const __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
  const __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
  r[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
  r[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
  r[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
  r[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
  r[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
  r[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
  r[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
  r[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

// Eight compressions at once; lanes past `lanes` repeat the first (their
// results are not stored).
VT_AVX2 void compress_avx2(std::uint32_t* const states[], const std::uint8_t* const blocks[], std::size_t lanes) {
  // The big-endian words of the blocks, read as little-endian.
  const __m256i swap = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7, 6, 5, 4,
                                        11, 10, 9, 8, 15, 14, 13, 12);
  __m256i w[16];
  __m256i initial[8];
  for (std::size_t l = 0; l < 8; ++l) {
    const std::size_t from = l < lanes ? l : 0;
    const auto* block = reinterpret_cast<const __m256i*>(blocks[from]);
    w[l] = _mm256_shuffle_epi8(_mm256_loadu_si256(block), swap);
    w[8 + l] = _mm256_shuffle_epi8(_mm256_loadu_si256(block + 1), swap);
    initial[l] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(states[from]));
  }
  transpose(w);
  transpose(w + 8);
  transpose(initial);
  __m256i a = initial[0], b = initial[1], c = initial[2], d = initial[3];
  __m256i e = initial[4], f = initial[5], g = initial[6], h = initial[7];
#pragma GCC unroll 64
  for (int t = 0; t < 64; ++t) {
    __m256i wt;
    if (t < 16) {
      wt = w[t];
    } else {
      const __m256i w15 = w[(t - 15) & 15], w2 = w[(t - 2) & 15];
      const __m256i s0 = _mm256_xor_si256(_mm256_xor_si256(ror(w15, 7), ror(w15, 18)), _mm256_srli_epi32(w15, 3));
      const __m256i s1 = _mm256_xor_si256(_mm256_xor_si256(ror(w2, 17), ror(w2, 19)), _mm256_srli_epi32(w2, 10));
      wt = add(add(w[t & 15], s0), add(w[(t - 7) & 15], s1));
      w[t & 15] = wt;
    }
    const __m256i sum1 = _mm256_xor_si256(_mm256_xor_si256(ror(e, 6), ror(e, 11)), ror(e, 25));
    const __m256i choose = _mm256_xor_si256(_mm256_and_si256(e, f), _mm256_andnot_si256(e, g));
    const __m256i t1 = add(add(add(h, sum1), add(choose, _mm256_set1_epi32(static_cast<int>(kRound[t])))), wt);
    const __m256i sum0 = _mm256_xor_si256(_mm256_xor_si256(ror(a, 2), ror(a, 13)), ror(a, 22));
    const __m256i majority =
        _mm256_or_si256(_mm256_and_si256(a, b), _mm256_and_si256(c, _mm256_or_si256(a, b)));
    const __m256i t2 = add(sum0, majority);
    h = g;
    g = f;
    f = e;
    e = add(d, t1);
    d = c;
    c = b;
    b = a;
    a = add(t1, t2);
  }
  __m256i last[8] = {add(initial[0], a), add(initial[1], b), add(initial[2], c), add(initial[3], d),
                     add(initial[4], e), add(initial[5], f), add(initial[6], g), add(initial[7], h)};
  transpose(last);
  for (std::size_t l = 0; l < lanes; ++l) _mm256_storeu_si256(reinterpret_cast<__m256i*>(states[l]), last[l]);
}

bool have_avx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

// The SHA extensions compress one block faster than eight AVX2 lanes take per
// block: where they are, OpenSSL's block function runs one lane at a time.
bool have_sha_extensions() {
  static const bool sha = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0 && (b & (1u << 29)) != 0;
  }();
  return sha;
}

#else

bool have_avx2() { return false; }
bool have_sha_extensions() { return false; }

#endif

// The plain compression (the way without AVX2 or SHA extensions).
void compress_plain(std::uint32_t state[8], const std::uint8_t block[64]) {
  std::uint32_t w[64];
  for (int t = 0; t < 16; ++t) w[t] = big_endian_word(block + 4 * t);
  for (int t = 16; t < 64; ++t) {
    const std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
    const std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int t = 0; t < 64; ++t) {
    const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
    const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) | (c & (a | b)));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

}  // namespace

LaneWay best_lane_way() {
  if (have_sha_extensions()) return LaneWay::ShaExtensions;
  return have_avx2() ? LaneWay::Avx2 : LaneWay::Plain;
}

bool lane_way_available(LaneWay way) {
  switch (way) {
    case LaneWay::Plain:
      return true;
    case LaneWay::Avx2:
      return have_avx2();
    case LaneWay::ShaExtensions:
      return have_sha_extensions();
  }
  return false;
}

void sha256_compress_lanes(std::uint32_t* const states[], const std::uint8_t* const blocks[], std::size_t lanes,
                           LaneWay way) {
  switch (way) {
    case LaneWay::ShaExtensions:
      for (std::size_t l = 0; l < lanes; ++l) sha256_block(states[l], blocks[l]);
      return;
    case LaneWay::Avx2:
#ifdef VT_LANES_X86
      for (std::size_t first = 0; first < lanes; first += kSha256Lanes) {
        const std::size_t group = std::min(kSha256Lanes, lanes - first);
        // A lone block costs eight lanes' work here: OpenSSL's is cheaper.
        if (group == 1) {
          sha256_block(states[first], blocks[first]);
        } else {
          compress_avx2(states + first, blocks + first, group);
        }
      }
      return;
#else
      [[fallthrough]];
#endif
    case LaneWay::Plain:
      break;
  }
  for (std::size_t l = 0; l < lanes; ++l) compress_plain(states[l], blocks[l]);
}

}  // namespace vt
