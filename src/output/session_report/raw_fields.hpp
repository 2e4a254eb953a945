// Reading members of a held raw record without exceptions: each accessor
// gives nothing when the member is absent or of another type.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/records.hpp"

namespace vt::report {

// The member `key` of `object`, or null when `object` is not an object or
// has no such member.
inline const Json* member(const Json* object, std::string_view key) {
  if (object == nullptr || !object->is_object()) return nullptr;
  const auto found = object->find(key);
  return found == object->end() ? nullptr : &*found;
}

inline const Json* object_member(const Json* object, std::string_view key) {
  const Json* value = member(object, key);
  return value != nullptr && value->is_object() ? value : nullptr;
}

inline std::optional<std::string_view> string_member(const Json* object, std::string_view key) {
  const Json* value = member(object, key);
  if (value == nullptr || !value->is_string()) return std::nullopt;
  return std::string_view(value->get_ref<const std::string&>());
}

inline std::optional<std::uint64_t> count_member(const Json* object, std::string_view key) {
  const Json* value = member(object, key);
  if (value == nullptr || !value->is_number_unsigned()) return std::nullopt;
  return value->get<std::uint64_t>();
}

inline std::optional<std::int64_t> integer_member(const Json* object, std::string_view key) {
  const Json* value = member(object, key);
  if (value == nullptr || !value->is_number_integer()) return std::nullopt;
  return value->get<std::int64_t>();
}

}  // namespace vt::report
