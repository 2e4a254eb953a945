#include "hash/event_id.hpp"

#include <algorithm>
#include <charconv>

#include "core/records.hpp"
#include "hash/sha256_lanes.hpp"

namespace vt {

namespace {

// The identifier's key and ordinal as the first digest reads them after the
// shared part: key \0 [ordinal digits].
std::size_t key_tail(std::optional<std::uint64_t> ordinal, char (&tail)[21]) {
  tail[0] = '\0';
  if (!ordinal) return 1;
  return static_cast<std::size_t>(std::to_chars(tail + 1, tail + sizeof tail, *ordinal).ptr - tail);
}

void put_big_endian(std::uint64_t value, std::uint8_t* out, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, value >>= 8) out[i] = static_cast<std::uint8_t>(value);
}

}  // namespace

void EventIds::keep_prefix(Provider provider, ArtifactKind kind, std::string_view relative_path) {
  if (has_prefix_ && provider == provider_ && kind == kind_ && relative_path == path_) return;
  provider_ = provider;
  kind_ = kind;
  path_.assign(relative_path);
  std::string& material = material_;
  material.clear();
  material.append(variant_name(provider)).push_back('\0');
  material.append(variant_name(kind)).push_back('\0');
  const std::size_t path_start = material.size();
  material.append(relative_path);
  for (std::size_t i = path_start; i < material.size(); ++i) {
    if (material[i] == '\\') material[i] = '/';
  }
  material.push_back('\0');
  prefix_ = Sha256();
  prefix_.update(material);
  has_prefix_ = true;
}

EventIdText EventIds::make(Provider provider, ArtifactKind kind, std::string_view relative_path,
                           std::string_view source_key, std::optional<std::uint64_t> ordinal) {
  keep_prefix(provider, kind, relative_path);
  Sha256 digest = prefix_;
  digest.update(source_key);
  char tail[21];
  digest.update(tail, key_tail(ordinal, tail));
  const Digest first = digest.finish();
  digest.update(first.data(), first.size());
  EventIdText id;
  hex_lower_into(digest.finish(), id.overwrite(EventIdText::kCapacity));
  return id;
}

EventIdText EventIds::defer(Provider provider, ArtifactKind kind, std::string_view relative_path,
                            std::string_view source_key, std::optional<std::uint64_t> ordinal) {
  keep_prefix(provider, kind, relative_path);
  const Sha256::Midstate at = prefix_.midstate();
  char tail[21];
  const std::size_t tail_size = key_tail(ordinal, tail);
  // The rest of the message (the shared part's last bytes, key, ordinal)
  // padded to whole blocks: 0x80, zeros, the bit count; laid out in place,
  // or first aside when a long key makes it more than two blocks.
  const std::size_t size = at.partial.size() + source_key.size() + tail_size;
  const std::size_t padded = (size + 1 + 8 + 63) / 64 * 64;
  Deferred& d = deferred_.emplace_back();
  std::copy(at.words.begin(), at.words.end(), d.state);
  std::uint8_t* rest = d.blocks;
  if (padded > sizeof d.blocks) {
    material_.resize(padded);
    rest = reinterpret_cast<std::uint8_t*>(material_.data());
  }
  std::uint8_t* out = std::copy(at.partial.begin(), at.partial.end(), rest);
  out = std::copy(source_key.begin(), source_key.end(), out);
  out = std::copy(tail, tail + tail_size, out);
  *out++ = 0x80;
  std::fill(out, rest + padded - 8, std::uint8_t{0});
  put_big_endian((at.length + source_key.size() + tail_size) * 8, rest + padded - 8, 8);
  std::size_t blocks = padded / 64;
  // A long key: the blocks before the last two are hashed now.
  for (; blocks > 2; --blocks, rest += 64) sha256_compress_one(d.state, rest);
  if (rest != d.blocks) std::copy(rest, rest + 64 * blocks, d.blocks);
  d.block_count = static_cast<std::uint8_t>(blocks);
  return EventIdText::placeholder(static_cast<std::uint32_t>(deferred_.size() - 1));
}

void EventIds::compute_deferred() {
  std::uint32_t* states[kSha256Lanes];
  const std::uint8_t* blocks[kSha256Lanes];
  alignas(32) std::uint32_t second[kSha256Lanes][8];
  std::uint8_t second_blocks[kSha256Lanes][64];
  for (std::size_t first = 0; first < deferred_.size(); first += kSha256Lanes) {
    const std::size_t lanes = std::min(kSha256Lanes, deferred_.size() - first);
    // The first digest: every lane's next-to-last or only block, then the
    // last blocks of those that have two.
    for (std::size_t l = 0; l < lanes; ++l) {
      states[l] = deferred_[first + l].state;
      blocks[l] = deferred_[first + l].blocks;
    }
    sha256_compress_lanes(states, blocks, lanes);
    std::size_t twos = 0;
    for (std::size_t l = 0; l < lanes; ++l) {
      Deferred& d = deferred_[first + l];
      if (d.block_count == 2) {
        states[twos] = d.state;
        blocks[twos++] = d.blocks + 64;
      }
    }
    if (twos != 0) sha256_compress_lanes(states, blocks, twos);
    // The second digest: the 32 bytes of the first, one padded block.
    for (std::size_t l = 0; l < lanes; ++l) {
      std::uint8_t* block = second_blocks[l];
      for (std::size_t w = 0; w < 8; ++w) put_big_endian(deferred_[first + l].state[w], block + 4 * w, 4);
      std::fill(block + 32, block + 64, std::uint8_t{0});
      block[32] = 0x80;
      put_big_endian(256, block + 56, 8);
      std::copy(std::begin(kSha256Initial), std::end(kSha256Initial), second[l]);
      states[l] = second[l];
      blocks[l] = block;
    }
    sha256_compress_lanes(states, blocks, lanes);
    for (std::size_t l = 0; l < lanes; ++l) {
      Digest digest;
      for (std::size_t w = 0; w < 8; ++w) put_big_endian(second[l][w], digest.data() + 4 * w, 4);
      hex_lower_into(digest, reinterpret_cast<char*>(deferred_[first + l].blocks));
    }
  }
}

void EventIds::fill(std::vector<Event>& events) {
  if (deferred_.empty()) return;
  compute_deferred();
  for (Event& event : events) {
    if (!event.event_id.is_placeholder()) continue;
    const std::uint32_t ticket = event.event_id.ticket();
    if (ticket < deferred_.size()) {
      event.event_id = std::string_view(reinterpret_cast<const char*>(deferred_[ticket].blocks), 64);
    }
  }
  deferred_.clear();
}

std::string event_id_for(Provider provider, ArtifactKind kind, std::string_view relative_path,
                         std::string_view source_key, std::optional<std::uint64_t> ordinal) {
  EventIds ids;
  return ids.make(provider, kind, relative_path, source_key, ordinal).str();
}

}  // namespace vt
