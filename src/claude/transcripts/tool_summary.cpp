#include "claude/transcripts/tool_summary.hpp"

#include <array>

#include "jsonl/fields.hpp"

namespace vt::claude {

namespace {

// The input members that say what a call acts on, most telling first.
constexpr std::array<std::string_view, 9> kMainArguments = {
    "command", "file_path", "notebook_path", "path", "pattern", "url", "query", "description", "prompt"};

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
    std::string shown = cut_text(*argument, kToolArgumentLimit);
    for (char& c : shown) {
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    message += ": ";
    message += shown;
    break;
  }
  return message;
}

}  // namespace vt::claude
