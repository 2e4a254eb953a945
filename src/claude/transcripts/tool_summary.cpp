#include "claude/transcripts/tool_summary.hpp"

#include <array>

#include "jsonl/fields.hpp"

namespace vt::claude {

namespace {

// The input members that say what a call acts on, most telling first.
constexpr std::array<std::string_view, 9> kMainArguments = {
    "command", "file_path", "notebook_path", "path", "pattern", "url", "query", "description", "prompt"};

}  // namespace

std::optional<std::string> tool_main_argument(const JsonView* input) {
  if (input == nullptr || !input->is_object()) return std::nullopt;
  for (const std::string_view key : kMainArguments) {
    const auto argument = get_string(*input, key);
    if (!argument) continue;
    return one_line_argument(*argument);
  }
  return std::nullopt;
}

std::string tool_call_message(std::string_view name, const JsonView* input) {
  std::string message(name);
  if (const auto argument = tool_main_argument(input)) {
    message += ": ";
    message += *argument;
  }
  return message;
}

}  // namespace vt::claude
