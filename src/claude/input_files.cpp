#include "claude/input_files.hpp"

#include <system_error>

namespace vt::claude {

namespace fs = std::filesystem;

WalkResult input_files(const fs::path& path, bool follow_symlinks, const std::atomic<bool>* cancel) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!ec && fs::is_directory(status)) return walk_regular_files(path, follow_symlinks, nullptr, cancel);
  WalkResult single;
  if (ec || fs::is_regular_file(status)) single.files.push_back(path);
  return single;
}

}  // namespace vt::claude
