// Paths of sources as events show them: relative to the run's base directory.
#pragma once

#include <filesystem>
#include <string>

namespace vt {

// The part of `path` after `root` when `root` is a leading part of it
// (component by component), else the whole path; as lossy UTF-8 text with
// backslashes turned into forward slashes. `path` equal to `root` gives "".
std::string relative_path_for(const std::filesystem::path& path, const std::filesystem::path& root);

}  // namespace vt
