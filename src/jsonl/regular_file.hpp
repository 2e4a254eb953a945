// Opening input files safely: only regular files are ever read, so a FIFO,
// socket or device planted in an artifact tree can neither block a run nor be
// consumed. The descriptor is owned and closed by `FileHandle`.
#pragma once

#include <cstddef>
#include <expected>
#include <filesystem>
#include <system_error>

namespace vt {

class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  int fd() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

  // Reads up to `size` bytes, retrying on interruption. Returns the count
  // (0 at end of file) or the error of the read.
  std::expected<std::size_t, std::error_code> read_some(void* data, std::size_t size);

 private:
  int fd_ = -1;
};

// The error of an input path that exists but is not a regular file.
std::error_code not_regular_file_error();

// Opens `path` read-only (following links) without ever blocking: the open is
// non-blocking, the file type is checked on the open descriptor, and only a
// regular file is handed back, in blocking mode. Its access time is kept where
// the kernel allows, and a file on proc, sys or a device file system is
// refused (see core/input_open.hpp).
std::expected<FileHandle, std::error_code> open_regular_file(const std::filesystem::path& path);

}  // namespace vt
