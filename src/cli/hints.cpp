#include "cli/hints.hpp"

#include <filesystem>
#include <system_error>

#include "core/path_text.hpp"

namespace vt::cli {

namespace {

bool is_link(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
}

std::string hint_for(const std::filesystem::path& path) {
  return "hint: '" + path_text(path) +
         "' is a symbolic link, which is not followed by default; --follow-symlinks follows it";
}

}  // namespace

std::vector<std::string> symlink_hints(const std::string& path, bool follow_symlinks) {
  std::vector<std::string> hints;
  if (follow_symlinks) return hints;
  const std::filesystem::path input(path);
  if (is_link(input)) {
    hints.push_back(hint_for(input));
    return hints;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(input, error)) return hints;
  for (const char* root : {".codex", ".claude"}) {
    if (is_link(input / root)) hints.push_back(hint_for(input / root));
  }
  return hints;
}

}  // namespace vt::cli
