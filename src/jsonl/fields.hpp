// The accessor layer through which record handlers read JSON fields, so that
// no adapter depends on how a value was parsed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/records.hpp"

namespace vt {

// The member `key` of `object`, or nullptr when absent (or `object` is not an object).
const Json* get_field(const Json& object, std::string_view key);
// The member's text when it is a JSON string.
std::optional<std::string_view> get_string(const Json& object, std::string_view key);
// The member when it is a JSON object.
const Json* get_object(const Json& object, std::string_view key);
// "null", "boolean", "number", "string", "array" or "object".
std::string_view json_type_name(const Json& value);
// An owned copy of a value, for `raw` and `timestamp_raw`.
Json held_copy(const Json& value);
// The value when it is a JSON number written without fraction or exponent
// that fits a signed 64-bit integer.
std::optional<std::int64_t> exact_int64(const Json& value);
// The elements of the value when it is a JSON array.
std::optional<std::span<const Json>> as_array(const Json& value);

}  // namespace vt
