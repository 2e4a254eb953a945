#include "jsonl/byte_source.hpp"

#include <sys/stat.h>
#include <zstd.h>

#include <algorithm>
#include <string>

#include "core/limits.hpp"
#include "core/path_text.hpp"

namespace vt {

namespace {

constexpr std::size_t kStoredBlockSize = 8192;
// The largest window a frame may ask for (2^27 bytes, the decoder's own
// default): it bounds the decoder's memory whatever the file claims; a frame
// asking for more is refused with the decoder's error.
constexpr int kMaxWindowLog = 27;

struct DctxFree {
  void operator()(ZSTD_DCtx* ctx) const { ZSTD_freeDCtx(ctx); }
};

// How far the content of the open compressed file may expand: a bounded
// multiple of its stored size, so that a few kilobytes cannot stand for
// gigabytes of lines.
std::uint64_t expansion_limit(int fd) {
  struct stat st {};
  const std::uint64_t stored = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  if (stored > kMaxDecompressedSize / kMaxDecompressionRatio) return kMaxDecompressedSize;
  return stored * kMaxDecompressionRatio;
}

}  // namespace

struct ByteSource::Zstd {
  std::unique_ptr<ZSTD_DCtx, DctxFree> ctx;
  std::unique_ptr<char[]> stored{new char[kStoredBlockSize]};
  ZSTD_inBuffer input{nullptr, 0, 0};
  bool end_of_file = false;
  bool inside_frame = false;  // stored bytes of an unfinished frame were consumed
  std::string name;           // the file's name, for messages
  std::uint64_t limit = 0;    // the most content the file may expand to
  std::uint64_t produced = 0;

  SourceError failure(std::string_view reason) const {
    return SourceError{"cannot decompress " + name + ": " + std::string(reason), true};
  }
};

ByteSource::ByteSource(FileHandle file, std::unique_ptr<Zstd> zstd, ReadProgress* progress)
    : file_(std::move(file)), zstd_(std::move(zstd)), progress_(progress) {}
ByteSource::ByteSource(ByteSource&&) noexcept = default;
ByteSource& ByteSource::operator=(ByteSource&&) noexcept = default;
ByteSource::~ByteSource() = default;

std::expected<ByteSource, std::error_code> ByteSource::open(const std::filesystem::path& path,
                                                            StoredAs stored,
                                                            ReadProgress* progress) {
  auto file = open_regular_file(path);
  if (!file) return std::unexpected(file.error());
  return from_file(std::move(*file), stored, path_text(path.filename()), progress);
}

std::expected<ByteSource, std::error_code> ByteSource::from_file(FileHandle file, StoredAs stored,
                                                                 std::string name,
                                                                 ReadProgress* progress) {
  note_file_opened(progress);
  std::unique_ptr<Zstd> zstd;
  if (stored == StoredAs::Zstd) {
    zstd = std::make_unique<Zstd>();
    zstd->ctx.reset(ZSTD_createDCtx());
    if (!zstd->ctx) return std::unexpected(std::make_error_code(std::errc::not_enough_memory));
    ZSTD_DCtx_setParameter(zstd->ctx.get(), ZSTD_d_windowLogMax, kMaxWindowLog);
    zstd->name = std::move(name);
    zstd->limit = expansion_limit(file.fd());
  }
  return ByteSource(std::move(file), std::move(zstd), progress);
}

std::expected<std::size_t, SourceError> ByteSource::read_some(char* data, std::size_t size) {
  return zstd_ ? decompress(data, size) : read_stored(data, size);
}

std::expected<std::size_t, SourceError> ByteSource::read_stored(char* data, std::size_t size) {
  auto n = file_.read_some(data, size);
  if (!n) return std::unexpected(SourceError{os_error_text(n.error())});
  digest_.update(data, *n);
  note_bytes_read(progress_, *n);
  return *n;
}

std::expected<std::size_t, SourceError> ByteSource::decompress(char* data, std::size_t size) {
  Zstd& z = *zstd_;
  for (;;) {
    if (z.input.pos == z.input.size && !z.end_of_file) {
      auto n = read_stored(z.stored.get(), kStoredBlockSize);
      if (!n) return std::unexpected(std::move(n.error()));
      z.input = ZSTD_inBuffer{z.stored.get(), *n, 0};
      z.end_of_file = *n == 0;
    }
    // Output goes no further than the limit; at the limit one byte more is
    // asked for, only to learn whether the content goes on past it.
    char probe = 0;
    const std::uint64_t room = z.limit - z.produced;
    ZSTD_outBuffer output = room == 0 ? ZSTD_outBuffer{&probe, 1, 0}
                                      : ZSTD_outBuffer{data, static_cast<std::size_t>(std::min<std::uint64_t>(size, room)), 0};
    const std::size_t consumed_before = z.input.pos;
    // Also called with no input left: the decoder may still hold output.
    const std::size_t hint = ZSTD_decompressStream(z.ctx.get(), &output, &z.input);
    if (ZSTD_isError(hint)) return std::unexpected(z.failure(ZSTD_getErrorName(hint)));
    if (hint == 0) {
      z.inside_frame = false;
    } else if (z.input.pos != consumed_before) {
      z.inside_frame = true;
    }
    if (output.pos != 0 && room == 0) {
      return std::unexpected(z.failure(
          "the content exceeds the limit of " + std::to_string(z.limit) + " bytes (" +
          std::to_string(kMaxDecompressionRatio) + " times the stored size, at most " +
          std::to_string(kMaxDecompressedSize) + " bytes)"));
    }
    if (output.pos != 0) {
      z.produced += output.pos;
      return output.pos;
    }
    if (z.end_of_file && z.input.pos == z.input.size) {
      if (z.inside_frame) return std::unexpected(z.failure("the data ends inside a frame (truncated)"));
      return 0;
    }
  }
}

std::string ByteSource::finish() {
  // A damaged stream stops decompression early; the digest still covers the
  // whole stored file.
  if (zstd_) {
    while (!zstd_->end_of_file) {
      auto n = read_stored(zstd_->stored.get(), kStoredBlockSize);
      if (!n || *n == 0) break;
    }
  }
  return hex_lower(digest_.finish());
}

}  // namespace vt
