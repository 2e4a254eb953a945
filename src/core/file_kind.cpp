#include "core/file_kind.hpp"

namespace vt {

namespace {

namespace fs = std::filesystem;

FileKind classify(fs::file_type type) {
  switch (type) {
    case fs::file_type::directory: return FileKind::Directory;
    case fs::file_type::regular: return FileKind::Regular;
    case fs::file_type::symlink: return FileKind::Symlink;
    default: return FileKind::Other;
  }
}

std::expected<FileKind, std::error_code> from_status(const fs::file_status& status,
                                                     const std::error_code& error) {
  if (error) return std::unexpected(error);
  if (status.type() == fs::file_type::not_found || status.type() == fs::file_type::none) {
    return std::unexpected(std::make_error_code(std::errc::no_such_file_or_directory));
  }
  return classify(status.type());
}

}  // namespace

std::expected<FileKind, std::error_code> file_kind(const fs::path& path, bool follow_symlinks) {
  std::error_code error;
  const fs::file_status status =
      follow_symlinks ? fs::status(path, error) : fs::symlink_status(path, error);
  return from_status(status, error);
}

std::expected<FileKind, std::error_code> entry_kind(const fs::directory_entry& entry,
                                                    bool follow_symlinks) {
  std::error_code error;
  const fs::file_status status =
      follow_symlinks ? entry.status(error) : entry.symlink_status(error);
  return from_status(status, error);
}

bool is_file_kind(const std::filesystem::path& path, bool follow_symlinks, FileKind wanted) {
  const auto kind = file_kind(path, follow_symlinks);
  return kind && *kind == wanted;
}

}  // namespace vt
