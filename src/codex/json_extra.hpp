// The two value readers the Codex records need beyond the shared field
// accessors: integer numbers as written, and array elements.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "core/records.hpp"

namespace vt::codex {

// The value when it is a JSON number written without fraction or exponent
// that fits a signed 64-bit integer.
std::optional<std::int64_t> exact_int64(const Json& value);
// The elements of the value when it is a JSON array.
std::optional<std::span<const Json>> as_array(const Json& value);

}  // namespace vt::codex
