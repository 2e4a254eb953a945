#include "core/tool_call_text.hpp"

#include "core/short_text.hpp"
#include "jsonl/fields.hpp"

namespace vt {

std::optional<std::string> string_argument(JsonView value) {
  if (!value.is_string()) return std::nullopt;
  return std::string(value.string());
}

std::optional<std::string> first_argument(JsonView input, std::span<const std::string_view> keys,
                                          ArgumentText text) {
  if (!input.is_object()) return std::nullopt;
  for (const std::string_view key : keys) {
    const FieldRef value = get_field(input, key);
    if (!value) continue;
    if (auto shown = text(*value)) return shown;
  }
  return std::nullopt;
}

std::optional<std::string> main_argument(const JsonView* input, std::span<const std::string_view> keys,
                                         ArgumentText text) {
  if (input == nullptr) return std::nullopt;
  const auto argument = first_argument(*input, keys, text);
  if (!argument) return std::nullopt;
  return one_line_argument(*argument);
}

std::string call_message(std::string_view name, const std::optional<std::string>& argument) {
  std::string message(name);
  if (argument) {
    message += ": ";
    message += *argument;
  }
  return message;
}

}  // namespace vt
