// STUB: replaced by the writers.
#include "output/sink.hpp"

#include <fcntl.h>
#include <unistd.h>

#include "core/path_text.hpp"

namespace vt {

std::string cannot_create_message(const std::filesystem::path& path, const std::error_code& error) {
  return "Cannot create '" + path_text(path) + "': " + os_error_text(error);
}

std::expected<void, std::error_code> MemorySink::write(const char* data, std::size_t size) {
  buffer_.append(data, size);
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

std::expected<void, std::error_code> FileSink::write(const char*, std::size_t) {
  return std::unexpected(std::make_error_code(std::errc::not_supported));
}

std::expected<void, std::error_code> FileSink::flush() { return {}; }

}  // namespace vt
