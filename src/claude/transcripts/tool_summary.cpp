#include "claude/transcripts/tool_summary.hpp"

#include <array>

#include "jsonl/fields.hpp"

namespace vt::claude {

namespace {

// The input members that say what a call acts on, most telling first.
constexpr std::array<std::string_view, 9> kMainArguments = {
    "command", "file_path", "notebook_path", "path", "pattern", "url", "query", "description", "prompt"};

std::string one_line(std::string_view text) {
  std::string shown = cut_text(text, kToolArgumentLimit);
  for (char& c : shown) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return shown;
}

// "\n- [x] one\n- [ ] two (in progress)" for TodoWrite's todo items.
std::string todo_lines(const JsonView& input) {
  const FieldRef todos = get_field(input, "todos");
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
    lines += one_line(*content);
    if (status == "in_progress") lines += " (in progress)";
  }
  if (left > 0) lines += "\n- \xE2\x80\xA6 " + std::to_string(left) + " more";
  return lines;
}

}  // namespace

std::string cut_text(std::string_view text, std::size_t limit) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters++ == limit) return std::string(text.substr(0, i)) + "\xE2\x80\xA6";
  }
  return std::string(text);
}

std::string tool_call_message(std::string_view name, const JsonView* input) {
  std::string message(name);
  if (input == nullptr || !input->is_object()) return message;
  for (const std::string_view key : kMainArguments) {
    const auto argument = get_string(*input, key);
    if (!argument) continue;
    message += ": ";
    message += one_line(*argument);
    break;
  }
  return message + todo_lines(*input);
}

}  // namespace vt::claude
