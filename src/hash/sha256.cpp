#include "hash/sha256.hpp"

#include <algorithm>
#include <array>
#include <cstring>


// The block functions are deprecated in favour of the digest interface,
// which calls them: it adds a provider lookup per digest and a context on the
// heap that cannot be copied without another allocation.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include "jsonl/regular_file.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vt {

static_assert(sizeof(SHA256_CTX) == Sha256::kStateSize && alignof(SHA256_CTX) <= 8);

namespace {
SHA256_CTX* state(unsigned char* bytes) { return reinterpret_cast<SHA256_CTX*>(bytes); }
const SHA256_CTX* state(const unsigned char* bytes) { return reinterpret_cast<const SHA256_CTX*>(bytes); }
}  // namespace

Sha256::Sha256() { SHA256_Init(state(state_)); }

void Sha256::update(const void* data, std::size_t size) {
  if (size != 0) SHA256_Update(state(state_), data, size);
}

Sha256::Midstate Sha256::midstate() const {
  const SHA256_CTX* ctx = state(state_);
  Midstate at{};
  for (std::size_t i = 0; i < at.words.size(); ++i) at.words[i] = ctx->h[i];
  // OpenSSL keeps the bytes of the block begun in message order, and counts bits.
  at.partial = std::string_view(reinterpret_cast<const char*>(ctx->data), ctx->num);
  at.length = ((std::uint64_t{ctx->Nh} << 32) | ctx->Nl) / 8;
  return at;
}

Digest Sha256::finish() {
  Digest out{};
  SHA256_Final(out.data(), state(state_));
  SHA256_Init(state(state_));
  return out;
}

void sha256_block(std::uint32_t state[8], const std::uint8_t block[64]) {
  SHA256_CTX ctx;
  std::copy(state, state + 8, ctx.h);
  SHA256_Transform(&ctx, block);
  std::copy(ctx.h, ctx.h + 8, state);
}

Digest sha256_of(std::string_view bytes) {
  Sha256 digest;
  digest.update(bytes);
  return digest.finish();
}

#ifdef __SSE2__
// Sixteen bytes at a time: their nibbles interleaved (high first), each made
// a digit or, past nine, a letter.
void hex_lower_into(const Digest& digest, char* out) {
  const __m128i low_nibble = _mm_set1_epi8(0x0F);
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i to_letter = _mm_set1_epi8('a' - '0' - 10);
  const auto digits = [&](__m128i nibbles) {
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, nine), to_letter);
    return _mm_add_epi8(_mm_add_epi8(nibbles, zero), letters);
  };
  for (std::size_t half = 0; half < 2; ++half) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digest.data() + 16 * half));
    const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble);
    const __m128i low = _mm_and_si128(bytes, low_nibble);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * half), digits(_mm_unpacklo_epi8(high, low)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * half + 16), digits(_mm_unpackhi_epi8(high, low)));
  }
}
#else
namespace {
// The two digits of every byte value, side by side.
constexpr std::array<char, 512> kByteDigits = [] {
  constexpr char kDigits[] = "0123456789abcdef";
  std::array<char, 512> pairs{};
  for (std::size_t b = 0; b < 256; ++b) {
    pairs[2 * b] = kDigits[b >> 4];
    pairs[2 * b + 1] = kDigits[b & 0x0F];
  }
  return pairs;
}();
}  // namespace

void hex_lower_into(const Digest& digest, char* out) {
  for (std::size_t i = 0; i < digest.size(); ++i) std::memcpy(out + 2 * i, &kByteDigits[2 * digest[i]], 2);
}
#endif

std::string hex_lower(const Digest& digest) {
  std::string text(digest.size() * 2, '\0');
  hex_lower_into(digest, text.data());
  return text;
}

std::expected<std::string, std::error_code> sha256_file(const std::filesystem::path& path) {
  auto file = open_regular_file(path);
  if (!file) return std::unexpected(file.error());
  Sha256 digest;
  const std::unique_ptr<char[]> block = file_block();
  for (;;) {
    auto n = file->read_some(block.get(), kFileBlockSize);
    if (!n) return std::unexpected(n.error());
    if (*n == 0) break;
    digest.update(block.get(), *n);
  }
  return hex_lower(digest.finish());
}

}  // namespace vt
