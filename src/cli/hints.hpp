// Hints added to a failed run's message: what the person can try next.
#pragma once

#include <string>
#include <vector>

namespace vt::cli {

// When links were not followed: a line for the input path, or a root inside
// it, that is a symbolic link, saying that --follow-symlinks follows it.
std::vector<std::string> symlink_hints(const std::string& path, bool follow_symlinks);

}  // namespace vt::cli
