// The program's version, the same as the Python package's.
#pragma once

#include <string_view>

namespace vt::cli {

inline constexpr std::string_view kVersion = "0.1.0";

}  // namespace vt::cli
