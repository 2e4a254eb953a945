#include "gemini_cli/tool_text.hpp"

#include <array>

#include "core/prompt_origin.hpp"
#include "core/tool_call_text.hpp"
#include "jsonl/fields.hpp"

namespace vt::gemini {

namespace {

// The argument members that say what a call acts on, most telling first.
constexpr std::array<std::string_view, 10> kMainArguments = {
    "command", "file_path", "absolute_path", "pattern", "query", "url", "prompt", "question", "path", "dir_path"};

// Texts the harness sends as the user: the session's context, and the
// contents of the files an `@` reference names.
constexpr std::array<std::string_view, 4> kInjectedOpenings = {
    "<session_context>", "This is the Gemini CLI. We are setting up the context for our chat.",
    "Okay, just setting up the context for our chat.", "--- Content from referenced files ---"};

// Members that list paths, of which the first names the call's argument
// when no member above does.
constexpr std::array<std::string_view, 1> kPathLists = {"paths"};

std::optional<std::string> first_path(JsonView paths) {
  if (!paths.is_array()) return std::nullopt;
  for (const JsonView path : paths.children()) {
    if (path.is_string()) return std::string(path.string());
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> call_argument(const JsonView* args) {
  if (auto argument = main_argument(args, kMainArguments)) return argument;
  return main_argument(args, kPathLists, first_path);
}

std::optional<std::string> response_text(const JsonView* response) {
  if (response == nullptr) return std::nullopt;
  if (response->is_string()) return std::string(response->string());
  if (const auto output = get_string(*response, "output")) return std::string(*output);
  if (const auto error = get_string(*response, "error")) return std::string(*error);
  return held_copy(*response).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<std::string> parts_text(const JsonView* parts) {
  if (parts == nullptr) return std::nullopt;
  if (parts->is_string()) return std::string(parts->string());
  if (!parts->is_array() && !parts->is_object()) return std::nullopt;
  std::optional<std::string> text;
  const auto add = [&text](const JsonView part) {
    std::optional<std::string> own;
    if (const auto body = get_string(part, "text")) {
      own = std::string(*body);
    } else if (const FieldRef call = get_object(part, "functionResponse")) {
      const FieldRef response = get_field(*call, "response");
      own = response_text(response ? &*response : nullptr);
    }
    if (!own) return;
    if (text) {
      *text += '\n';
      *text += *own;
    } else {
      text = std::move(own);
    }
  };
  if (parts->is_object()) {
    add(*parts);  // a single part
  } else {
    for (const JsonView part : parts->children()) add(part);
  }
  return text;
}

PromptOrigin user_text_origin(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  const std::string_view opening = start == std::string_view::npos ? std::string_view() : text.substr(start);
  for (const std::string_view marker : kInjectedOpenings) {
    if (opening.starts_with(marker)) return PromptOrigin::Injected;
  }
  return is_command_text(text) ? PromptOrigin::Command : PromptOrigin::Typed;
}

}  // namespace vt::gemini
