// Paths as the system shows them: UTF-8 text with invalid sequences replaced
// by U+FFFD and every backslash turned into a forward slash.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vt {

// Replaces each invalid UTF-8 sequence of `bytes` with U+FFFD.
std::string utf8_lossy(std::string_view bytes);
// True when `bytes` is entirely valid UTF-8.
bool is_valid_utf8(std::string_view bytes);

std::string path_text(const std::filesystem::path& path);
// The same for the native bytes of a path, with no path object made.
std::string path_text_of(std::string_view native);

// Text of an operating-system error, as it appears inside messages.
std::string os_error_text(const std::error_code& error);

}  // namespace vt
