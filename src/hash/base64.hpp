// Base64 text of binary content (standard alphabet, "=" padding, one line),
// for inlining files that are not UTF-8 text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vt {

std::string base64_encode(std::string_view bytes);
// The bytes of standard Base64 text (padding optional, no white space);
// nothing when the text is not Base64.
std::optional<std::string> base64_decode(std::string_view text);

}  // namespace vt
