#include "jsonl/fields.hpp"

#include <limits>

namespace vt {

std::optional<std::string_view> get_string(JsonView object, std::string_view key) {
  const FieldRef field = get_field(object, key);
  if (!field || !field->is_string()) return std::nullopt;
  return field->string();
}

FieldRef get_object(JsonView object, std::string_view key) {
  const FieldRef field = get_field(object, key);
  return field && field->is_object() ? field : FieldRef();
}

std::string_view json_type_name(JsonView value) {
  switch (value.kind()) {
    case JsonKind::Null: return "null";
    case JsonKind::Boolean: return "boolean";
    case JsonKind::Integer:
    case JsonKind::Unsigned:
    case JsonKind::Float: return "number";
    case JsonKind::String: return "string";
    case JsonKind::Array: return "array";
    case JsonKind::Object: return "object";
  }
  return "null";
}

// Values come from the bounded parser, so building cannot recurse deeply.
Json held_copy(JsonView value) { return value.held(); }

RawTimestamp raw_timestamp(JsonView value) {
  return value.is_string() ? RawTimestamp::text(value.string()) : RawTimestamp(value.held());
}

std::optional<std::int64_t> exact_int64(JsonView value) {
  if (value.kind() == JsonKind::Unsigned) {
    const std::uint64_t u = value.unsigned_value();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(u);
  }
  if (value.kind() == JsonKind::Integer) return value.integer();
  return std::nullopt;
}

std::optional<JsonView::Children> as_array(JsonView value) {
  if (!value.is_array()) return std::nullopt;
  return value.children();
}

}  // namespace vt
