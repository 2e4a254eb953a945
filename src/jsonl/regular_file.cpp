#include "jsonl/regular_file.hpp"

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/input_open.hpp"

namespace vt {

namespace {

class FileErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "vellumtrace.file"; }
  std::string message(int) const override { return "Not a regular file"; }
};

const FileErrorCategory& file_error_category() {
  static const FileErrorCategory category;
  return category;
}

std::error_code last_error() { return {errno, std::system_category()}; }

// Files up to this size are read in one block of the line reader.
constexpr off_t kSmallFileSize = 64 * 1024;

}  // namespace

FileHandle::~FileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

std::expected<std::size_t, std::error_code> FileHandle::read_some(void* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, data, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return std::unexpected(last_error());
  }
}

std::error_code not_regular_file_error() { return {1, file_error_category()}; }

std::expected<FileHandle, std::error_code> open_regular_file(const std::filesystem::path& path) {
  const auto opened = open_input(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (!opened) return std::unexpected(opened.error());
  const int fd = *opened;
  FileHandle file(fd);

  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::unexpected(last_error());
  if (S_ISDIR(st.st_mode)) return std::unexpected(std::make_error_code(std::errc::is_a_directory));
  if (!S_ISREG(st.st_mode)) return std::unexpected(not_regular_file_error());
  if (const std::error_code pseudo = pseudo_file_system_error(fd)) return std::unexpected(pseudo);

  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return std::unexpected(last_error());
  }
  // A hint of reading on is worth its call only for a file read in several
  // blocks (most files of a session store are read in one).
  if (st.st_size > kSmallFileSize) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return file;
}

}  // namespace vt
