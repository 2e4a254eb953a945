// UTF-8 validation that reports where and how a byte string stops being
// valid, in the decoder's own words; the base of every UTF-8 check and repair.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

struct Utf8Error {
  std::size_t valid_up_to = 0;  // bytes before the first bad sequence
  std::size_t error_length = 0;  // bytes of the bad sequence; 0 when it is cut short by the end
};

// The first invalid sequence of `bytes`, or nothing when all of it is valid.
std::optional<Utf8Error> find_utf8_error(std::string_view bytes);
// The same found byte by byte (what find_utf8_error does once it knows the
// text is invalid).
std::optional<Utf8Error> scan_utf8_error(std::string_view bytes);

// "invalid utf-8 sequence of {n} bytes from index {i}" or
// "incomplete utf-8 byte sequence from index {i}".
std::string utf8_error_text(const Utf8Error& error);

// Whether all of `bytes` is valid UTF-8 (the same answer as
// !find_utf8_error(bytes), by a vector validator).
bool valid_utf8(std::string_view bytes);

}  // namespace vt
