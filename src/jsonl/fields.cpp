#include "jsonl/fields.hpp"

#include <limits>

namespace vt {

const Json* get_field(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto& members = object.get_ref<const Json::object_t&>();
  const auto it = members.find(key);
  return it == members.end() ? nullptr : &it->second;
}

std::optional<std::string_view> get_string(const Json& object, std::string_view key) {
  const Json* field = get_field(object, key);
  if (field == nullptr || !field->is_string()) return std::nullopt;
  return std::string_view(field->get_ref<const Json::string_t&>());
}

const Json* get_object(const Json& object, std::string_view key) {
  const Json* field = get_field(object, key);
  return field != nullptr && field->is_object() ? field : nullptr;
}

std::string_view json_type_name(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
    case Json::value_t::discarded:
      return "null";
    case Json::value_t::boolean:
      return "boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return "number";
    case Json::value_t::string:
      return "string";
    case Json::value_t::array:
    case Json::value_t::object:
      break;
    case Json::value_t::binary:
      return "array";
  }
  return value.is_array() ? "array" : "object";
}

// Values come from the bounded parser, so copying cannot recurse deeply.
Json held_copy(const Json& value) { return value; }

std::optional<std::int64_t> exact_int64(const Json& value) {
  if (value.is_number_unsigned()) {
    const auto u = value.get_ref<const Json::number_unsigned_t&>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(u);
  }
  if (value.is_number_integer()) return value.get_ref<const Json::number_integer_t&>();
  return std::nullopt;
}

std::optional<std::span<const Json>> as_array(const Json& value) {
  if (!value.is_array()) return std::nullopt;
  const auto& elements = value.get_ref<const Json::array_t&>();
  return std::span<const Json>(elements.data(), elements.size());
}

}  // namespace vt
