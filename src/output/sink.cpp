#include "output/sink.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "core/path_text.hpp"

namespace vt {

std::string cannot_create_message(const std::filesystem::path& path, const std::error_code& error) {
  return "Cannot create '" + path_text(path) + "': " + os_error_text(error);
}

std::expected<void, std::error_code> ByteSink::write_counted(const char* data, std::size_t size,
                                                             std::size_t& accepted) {
  accepted = 0;
  auto written = write(data, size);
  if (written) accepted = size;
  return written;
}

std::expected<void, std::error_code> MemorySink::write(const char* data, std::size_t size) {
  buffer_.append(data, size);
  return {};
}

std::expected<void, std::error_code> DescriptorSink::write(const char* data, std::size_t size) {
  std::size_t accepted = 0;
  return write_counted(data, size, accepted);
}

std::expected<void, std::error_code> DescriptorSink::write_counted(const char* data,
                                                                   std::size_t size,
                                                                   std::size_t& accepted) {
  accepted = 0;
  while (accepted < size) {
    const ssize_t n = ::write(fd_, data + accepted, size - accepted);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(std::error_code(errno, std::system_category()));
    }
    if (n == 0) return std::unexpected(std::make_error_code(std::errc::io_error));
    accepted += static_cast<std::size_t>(n);
  }
  return {};
}

std::expected<std::unique_ptr<FileSink>, std::error_code> FileSink::create(
    const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return std::unexpected(std::error_code(errno, std::system_category()));
  return std::unique_ptr<FileSink>(new FileSink(fd));
}

FileSink::~FileSink() {
  if (fd_ >= 0) ::close(fd_);
}

std::expected<void, std::error_code> CancellableSink::write(const char* data, std::size_t size) {
  if (cancel_.load(std::memory_order_relaxed)) return std::unexpected(std::make_error_code(std::errc::operation_canceled));
  return target_.write(data, size);
}

std::expected<void, std::error_code> CancellableSink::write_counted(const char* data, std::size_t size,
                                                                    std::size_t& accepted) {
  accepted = 0;
  if (cancel_.load(std::memory_order_relaxed)) return std::unexpected(std::make_error_code(std::errc::operation_canceled));
  return target_.write_counted(data, size, accepted);
}

}  // namespace vt
