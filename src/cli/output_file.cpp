#include "cli/output_file.hpp"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vt::cli {

namespace {

constexpr int kMaxLinks = 40;

std::error_code last_error() { return std::error_code(errno, std::system_category()); }

// The path the bytes finally go to: `path` with every symbolic link in its
// last component followed, even to a target that does not exist yet.
std::expected<std::filesystem::path, std::error_code> follow_links(std::filesystem::path path) {
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    struct stat info{};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return std::unexpected(last_error());
    if (static_cast<std::size_t>(n) == target.size()) {
      return std::unexpected(std::make_error_code(std::errc::filename_too_long));
    }
    const std::filesystem::path next(std::string(target.data(), static_cast<std::size_t>(n)));
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return std::unexpected(std::make_error_code(std::errc::too_many_symbolic_link_levels));
}

// /dev/stdout, /dev/fd/N, /proc/self/fd/N and the like stand for a descriptor
// the caller opened, even when it refers to a regular file.
bool names_a_descriptor(const std::string& path) {
  return path.starts_with("/dev/") || path.starts_with("/proc/");
}

// Standard output or error when `path` names the same open file, so that
// the bytes go on at that descriptor's position instead of a second one.
std::optional<int> standard_descriptor(const std::string& path) {
  struct stat named{};
  if (::stat(path.c_str(), &named) != 0) return std::nullopt;
  for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat open{};
    if (::fstat(fd, &open) == 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino) {
      return fd;
    }
  }
  return std::nullopt;
}

mode_t creation_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string OutputFile::failure(const std::error_code& error) const {
  return cannot_create_message(shown_, error);
}

std::expected<std::unique_ptr<OutputFile>, std::string> OutputFile::open(const std::string& path,
                                                                        InterruptWatch& watch) {
  if (const auto standard = standard_descriptor(path)) {
    return std::unique_ptr<OutputFile>(new OutputFile(path, path, watch, *standard, false));
  }
  struct stat existing{};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && (!S_ISREG(existing.st_mode) || names_a_descriptor(path))) {
    // A device, a FIFO or an open descriptor: written in place, never replaced.
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return std::unexpected(cannot_create_message(path, last_error()));
    return std::unique_ptr<OutputFile>(new OutputFile(path, path, watch, fd));
  }
  auto destination = follow_links(path);
  if (!destination) return std::unexpected(cannot_create_message(path, destination.error()));

  const std::filesystem::path directory =
      destination->has_parent_path() ? destination->parent_path() : std::filesystem::path(".");
  std::string pattern =
      (directory / ("." + destination->filename().native() + ".partial-XXXXXX")).native();
  const mode_t mode = exists ? (existing.st_mode & 07777) : creation_mode();
  int fd = -1;
  std::error_code error;
  watch.exclusive([&] {
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
      error = last_error();
      return;
    }
    watch.add_temporary(pattern);
  });
  if (fd < 0) return std::unexpected(cannot_create_message(path, error));
  ::fchmod(fd, mode);
  if (exists) {
    // Keep the owner of the file being replaced where permitted.
    [[maybe_unused]] const int kept = ::fchown(fd, existing.st_uid, existing.st_gid);
  }
  auto file = std::unique_ptr<OutputFile>(new OutputFile(path, *destination, watch, fd));
  file->temporary_ = pattern;
  return file;
}

void OutputFile::close_descriptor() {
  if (fd_ >= 0 && owned_) ::close(fd_);
  fd_ = -1;
}

std::expected<void, std::string> OutputFile::commit(bool durable) {
  if (temporary_.empty()) {
    const int fd = fd_;
    fd_ = -1;
    if (owned_ && ::close(fd) != 0) return std::unexpected(failure(last_error()));
    return {};
  }
  if (durable && ::fsync(fd_) != 0) {
    const std::error_code error = last_error();
    discard();
    return std::unexpected(failure(error));
  }
  std::error_code error;
  watch_.exclusive([&] {
    close_descriptor();
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
      error = last_error();
      ::unlink(temporary_.c_str());
    }
    watch_.drop_temporary(temporary_);
    temporary_.clear();
  });
  if (error) return std::unexpected(failure(error));
  return {};
}

void OutputFile::discard() {
  close_descriptor();
  if (temporary_.empty()) return;
  watch_.exclusive([&] {
    ::unlink(temporary_.c_str());
    watch_.drop_temporary(temporary_);
  });
  temporary_.clear();
}

OutputFile::~OutputFile() { discard(); }

}  // namespace vt::cli
