// SHA-256 through OpenSSL's own block functions, incremental, the state held
// in the object itself (no allocation, and a copy carries on from the same
// point, so a common prefix is hashed once); and the lowercase hexadecimal
// text of a digest.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace vt {

using Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();

  void update(const void* data, std::size_t size);
  void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
  // The digest of everything updated so far; the object then starts afresh,
  // so one context serves any number of digests.
  Digest finish();

  // Where the digest stands: the state after every whole block so far, the
  // bytes of the block begun (fewer than 64) and the count of bytes updated,
  // for a caller that finishes the message's last blocks itself.
  struct Midstate {
    std::array<std::uint32_t, 8> words;
    std::string_view partial;
    std::uint64_t length;
  };
  Midstate midstate() const;

  // The size of OpenSSL's state (checked where it is used).
  static constexpr std::size_t kStateSize = 112;

 private:
  alignas(8) unsigned char state_[kStateSize];
};

// One block compressed by OpenSSL's own block function (which uses the
// processor's SHA extensions where it has them): `state` advanced over the 64
// bytes at `block`.
void sha256_block(std::uint32_t state[8], const std::uint8_t block[64]);

// One-shot digest of a byte string (a context of its own per call; loops
// keep a Sha256 instead).
Digest sha256_of(std::string_view bytes);
std::string hex_lower(const Digest& digest);
// The same 64 digits written to `out`.
void hex_lower_into(const Digest& digest, char* out);

// Block size of every whole-file read (hashing and content capture).
inline constexpr std::size_t kFileBlockSize = 65536;

// A block-sized read buffer, left unfilled: every byte is read into before it
// is looked at, and a run over thousands of small files would otherwise spend
// its time clearing 64 KiB per file.
inline std::unique_ptr<char[]> file_block() { return std::make_unique_for_overwrite<char[]>(kFileBlockSize); }

// SHA-256 of a whole file, streamed in 64 KiB blocks. Only regular files are
// opened; anything else is refused with an error.
std::expected<std::string, std::error_code> sha256_file(const std::filesystem::path& path);

}  // namespace vt
