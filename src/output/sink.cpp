#include "output/sink.hpp"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/path_text.hpp"

namespace vt {

namespace {

// How long one wait for a FIFO's reader or for room to write lasts before
// the stop flag is looked at again.
constexpr int kWaitStepMs = 50;

std::error_code canceled() { return std::make_error_code(std::errc::operation_canceled); }

// Waits until `fd` is ready for `events`; false when `*cancel` was set meanwhile.
bool wait_until_ready(int fd, short events, const std::atomic<bool>* cancel) {
  for (;;) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return false;
    pollfd watched{fd, events, 0};
    if (::poll(&watched, 1, kWaitStepMs) != 0) return true;  // ready, or an error the write reports
  }
}

}  // namespace

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
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!wait_until_ready(fd_, POLLOUT, cancel_)) return std::unexpected(canceled());
        continue;
      }
      return std::unexpected(std::error_code(errno, std::system_category()));
    }
    if (n == 0) return std::unexpected(std::make_error_code(std::errc::io_error));
    accepted += static_cast<std::size_t>(n);
  }
  return {};
}

void FileSink::remove_if_created() {
  if (!created_ || fd_ < 0) return;
  struct stat named {}, own {};
  if (::lstat(path_.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return;
  if (::fstat(fd_, &own) != 0 || named.st_dev != own.st_dev || named.st_ino != own.st_ino) return;
  if (::unlink(path_.c_str()) == 0) created_ = false;
}

std::expected<std::unique_ptr<FileSink>, std::error_code> FileSink::create(
    const std::filesystem::path& path, const std::atomic<bool>* cancel) {
  // Non-blocking, so that a FIFO without a reader does not hold the open.
  constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  bool made = true;
  int fd = -1;
  for (;;) {
    fd = ::open(path.c_str(), kFlags | O_CREAT | (made ? O_EXCL : O_TRUNC), 0666);
    if (fd >= 0) break;
    if (errno == EINTR) continue;
    if (errno == EEXIST && made) {
      made = false;  // there before: truncated, never removed
      continue;
    }
    if (errno != ENXIO) return std::unexpected(std::error_code(errno, std::system_category()));
    // A FIFO nobody reads yet: wait for a reader, answering a stop.
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return std::unexpected(canceled());
    ::poll(nullptr, 0, kWaitStepMs);
  }
  auto sink = std::unique_ptr<FileSink>(new FileSink(fd, path));
  sink->stop_when(cancel);
  sink->created_ = made;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::unexpected(std::error_code(errno, std::system_category()));
  if (S_ISREG(st.st_mode)) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
  return sink;
}

FileSink::~FileSink() {
  if (fd_ >= 0) ::close(fd_);
}

std::expected<void, std::error_code> CancellableSink::write(const char* data, std::size_t size) {
  if (cancel_.load(std::memory_order_relaxed)) return std::unexpected(canceled());
  return target_.write(data, size);
}

std::expected<void, std::error_code> CancellableSink::write_counted(const char* data, std::size_t size,
                                                                    std::size_t& accepted) {
  accepted = 0;
  if (cancel_.load(std::memory_order_relaxed)) return std::unexpected(canceled());
  return target_.write_counted(data, size, accepted);
}

}  // namespace vt
