// Base64 text of binary content (standard alphabet, "=" padding, one line),
// for inlining files that are not UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace vt {

std::string base64_encode(std::string_view bytes);

}  // namespace vt
