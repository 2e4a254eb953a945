#include "claude/transcripts/tool_summary.hpp"

#include <array>

#include "core/short_text.hpp"
#include "core/tool_call_text.hpp"
#include "jsonl/fields.hpp"

namespace vt::claude {

namespace {

// The input members that say what a call acts on, most telling first.
constexpr std::array<std::string_view, 9> kMainArguments = {
    "command", "file_path", "notebook_path", "path", "pattern", "url", "query", "description", "prompt"};

}  // namespace

std::optional<std::string> tool_main_argument(const JsonView* input) {
  return main_argument(input, kMainArguments);
}

// "\n- [x] one\n- [ ] two (in progress)" for TodoWrite's todo items.
std::string todo_lines(const JsonView* input) {
  if (input == nullptr || !input->is_object()) return {};
  const FieldRef todos = get_field(*input, "todos");
  const auto items = todos ? as_array(*todos) : std::nullopt;
  if (!items) return {};
  std::string lines;
  std::size_t count = 0, left = 0;
  for (const JsonView todo : *items) {
    const auto content = get_string(todo, "content");
    if (!content) continue;
    if (++count > kTodoLimit) {
      ++left;
      continue;
    }
    const std::string_view status = get_string(todo, "status").value_or("");
    lines += status == "completed" ? "\n- [x] " : "\n- [ ] ";
    lines += one_line_argument(*content);
    if (status == "in_progress") lines += " (in progress)";
  }
  if (left > 0) lines += "\n- \xE2\x80\xA6 " + std::to_string(left) + " more";
  return lines;
}

std::string tool_call_message(std::string_view name, const JsonView* input) {
  return call_message(name, tool_main_argument(input)) + todo_lines(input);
}

}  // namespace vt::claude
