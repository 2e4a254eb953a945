// ByteSource: the bytes a line reader consumes, either a file's own bytes or
// the stream decompressed from a zstd-compressed file. Either way the running
// SHA-256 covers the file's bytes as stored, so it matches a checksum of the
// file on disk, and memory stays bounded (no whole-file decompression). A
// compressed file expands only so far (see core/limits.hpp); content past
// that ends the input as a damaged stream does.
#pragma once

#include <cstddef>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "core/read_progress.hpp"
#include "hash/sha256.hpp"
#include "jsonl/regular_file.hpp"

namespace vt {

// How a line-oriented file is stored on disk.
enum class StoredAs { Plain, Zstd };

struct SourceError {
  std::string text;         // used in messages
  bool ends_input = false;  // a damaged stream: nothing more can be read
};

class ByteSource {
 public:
  // Opens `path` (regular files only); `progress`, when set, counts the file
  // and every stored byte read.
  static std::expected<ByteSource, std::error_code> open(const std::filesystem::path& path,
                                                         StoredAs stored,
                                                         ReadProgress* progress = nullptr);
  // The same over a file already open (whatever it is); `name` stands for it
  // in messages.
  static std::expected<ByteSource, std::error_code> from_file(FileHandle file, StoredAs stored,
                                                              std::string name,
                                                              ReadProgress* progress = nullptr);

  ByteSource(ByteSource&&) noexcept;
  ByteSource& operator=(ByteSource&&) noexcept;
  ~ByteSource();

  // Up to `size` bytes of content into `data`; 0 at end of input. A failed
  // read of the file can be retried; a decompression failure ends the input.
  std::expected<std::size_t, SourceError> read_some(char* data, std::size_t size);
  // Lowercase hex SHA-256 of the stored bytes (of the whole file, also when
  // decompression failed part-way); call once, at the end.
  std::string finish();

 private:
  struct Zstd;
  ByteSource(FileHandle file, std::unique_ptr<Zstd> zstd, ReadProgress* progress);
  std::expected<std::size_t, SourceError> read_stored(char* data, std::size_t size);
  std::expected<std::size_t, SourceError> decompress(char* data, std::size_t size);

  FileHandle file_;
  Sha256 digest_;
  std::unique_ptr<Zstd> zstd_;  // null for a plain file
  ReadProgress* progress_ = nullptr;
};

}  // namespace vt
