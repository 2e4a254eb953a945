// The program's version, the same as the Python package's: the build passes
// it in from the project metadata (pyproject.toml).
#pragma once

#include <string_view>

#ifndef VELLUMTRACE_VERSION
#error "VELLUMTRACE_VERSION is defined by the build from pyproject.toml"
#endif

namespace vt::cli {

inline constexpr std::string_view kVersion = VELLUMTRACE_VERSION;

}  // namespace vt::cli
