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

EventIds::EventIds() : way_(best_lane_way()) {}

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
  if (way_ == LaneWay::ShaExtensions) return make(provider, kind, relative_path, source_key, ordinal);
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
  for (; blocks > 2; --blocks, rest += 64) {
    std::uint32_t* state = d.state;
    const std::uint8_t* block = rest;
    sha256_compress_lanes(&state, &block, 1, way_);
  }
  if (rest != d.blocks) std::copy(rest, rest + 64 * blocks, d.blocks);
  d.block_count = static_cast<std::uint8_t>(blocks);
  return EventIdText::placeholder(static_cast<std::uint32_t>(deferred_.size() - 1));
}

namespace {

// Blocks gathered eight at a time for the lanes.
class LaneBatch {
 public:
  explicit LaneBatch(LaneWay way) : way_(way) {}
  void add(std::uint32_t* state, const std::uint8_t* block) {
    states_[size_] = state;
    blocks_[size_++] = block;
    if (size_ == kSha256Lanes) flush();
  }
  void flush() {
    if (size_ != 0) sha256_compress_lanes(states_, blocks_, size_, way_);
    size_ = 0;
  }

 private:
  std::uint32_t* states_[kSha256Lanes];
  const std::uint8_t* blocks_[kSha256Lanes];
  std::size_t size_ = 0;
  LaneWay way_;
};

}  // namespace

// Three passes, each filling every lane it can: the first blocks, the second
// blocks of the identifiers that have two, then the second digests (their
// block, the first digest padded, laid over the blocks done with).
void EventIds::compute_deferred() {
  LaneBatch batch(way_);
  for (Deferred& d : deferred_) batch.add(d.state, d.blocks);
  batch.flush();
  for (Deferred& d : deferred_) {
    if (d.block_count == 2) batch.add(d.state, d.blocks + 64);
  }
  batch.flush();
  for (Deferred& d : deferred_) {
    for (std::size_t w = 0; w < 8; ++w) put_big_endian(d.state[w], d.blocks + 4 * w, 4);
    std::fill(d.blocks + 32, d.blocks + 64, std::uint8_t{0});
    d.blocks[32] = 0x80;
    put_big_endian(256, d.blocks + 56, 8);
    std::copy(std::begin(kSha256Initial), std::end(kSha256Initial), d.state);
    batch.add(d.state, d.blocks);
  }
  batch.flush();
  for (Deferred& d : deferred_) {
    Digest digest;
    for (std::size_t w = 0; w < 8; ++w) put_big_endian(d.state[w], digest.data() + 4 * w, 4);
    hex_lower_into(digest, reinterpret_cast<char*>(d.blocks));
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
