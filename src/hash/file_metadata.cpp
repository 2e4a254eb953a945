#include "hash/file_metadata.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace vt {

namespace {

std::expected<FileMetadata, std::error_code> from_stat(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::unexpected(std::error_code(errno, std::system_category()));
  FileMetadata meta;
  meta.size = static_cast<std::uint64_t>(st.st_size);
  meta.regular = S_ISREG(st.st_mode);
  meta.times.modified = file_time(st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec));
  meta.times.accessed = file_time(st.st_atim.tv_sec, static_cast<std::uint32_t>(st.st_atim.tv_nsec));
  return meta;
}

}  // namespace

std::optional<Instant> file_time(std::int64_t seconds, std::uint32_t nanos) {
  if (seconds < 0 || nanos > 999'999'999) return std::nullopt;
  return Instant::from_unix(seconds, nanos);
}

std::expected<FileMetadata, std::error_code> read_file_metadata(const std::filesystem::path& path) {
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    // Kernels or sandboxes without statx still answer stat, without creation times.
    if (errno == ENOSYS) return from_stat(path);
    return std::unexpected(std::error_code(errno, std::system_category()));
  }
  FileMetadata meta;
  meta.size = sx.stx_size;
  meta.regular = S_ISREG(sx.stx_mode);
  if (sx.stx_mask & STATX_MTIME) meta.times.modified = file_time(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  if (sx.stx_mask & STATX_ATIME) meta.times.accessed = file_time(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  if (sx.stx_mask & STATX_BTIME) meta.times.created = file_time(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
  return meta;
}

}  // namespace vt
