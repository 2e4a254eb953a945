// The accessor layer through which record handlers read JSON fields, so that
// no adapter depends on how a value was parsed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/records.hpp"
#include "jsonl/json_view.hpp"

namespace vt {

// A member found by name, or nothing; reads like a pointer to the value.
class FieldRef {
 public:
  FieldRef() = default;
  FieldRef(std::nullptr_t) {}
  explicit FieldRef(JsonView value) : value_(value) {}
  explicit operator bool() const { return value_.has_value(); }
  friend bool operator==(const FieldRef& field, std::nullptr_t) { return !field.value_; }
  const JsonView& operator*() const { return *value_; }
  const JsonView* operator->() const { return &*value_; }

 private:
  std::optional<JsonView> value_;
};

// The member `key` of `object` (the last of repeated ones), or nothing when
// absent (or `object` is not an object).
inline FieldRef get_field(JsonView object, std::string_view key) {
  JsonView found = object;
  return object.find(key, found) ? FieldRef(found) : FieldRef();
}
// The member's text when it is a JSON string.
std::optional<std::string_view> get_string(JsonView object, std::string_view key);
// The member when it is a JSON object.
FieldRef get_object(JsonView object, std::string_view key);
// "null", "boolean", "number", "string", "array" or "object".
std::string_view json_type_name(JsonView value);
// An owned copy of a value, for `raw`.
Json held_copy(JsonView value);
// The value as `timestamp_raw` keeps it (a short text with no allocation).
RawTimestamp raw_timestamp(JsonView value);
// The value when it is a JSON number written without fraction or exponent
// that fits a signed 64-bit integer.
std::optional<std::int64_t> exact_int64(JsonView value);
// The elements of the value when it is a JSON array.
std::optional<JsonView::Children> as_array(JsonView value);

}  // namespace vt
