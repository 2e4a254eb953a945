#include "codex/json_extra.hpp"

#include <limits>

namespace vt::codex {

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

}  // namespace vt::codex
