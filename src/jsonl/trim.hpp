// White-space trimming of a line before it is parsed: carriage returns and
// every Unicode white-space character are removed from both ends, so lines
// written on other systems or padded by editors read like clean ones.
#pragma once

#include <string_view>

namespace vt {

// `text` must be valid UTF-8.
std::string_view trim_line(std::string_view text);

}  // namespace vt
