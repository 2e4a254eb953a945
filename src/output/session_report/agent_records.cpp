#include "output/session_report/agent_records.hpp"

#include <array>

#include "output/session_report/raw_fields.hpp"
#include "output/session_report/report_texts.hpp"

namespace vt::report {

namespace {

// Longest main argument shown on a call's line, in characters.
constexpr std::size_t kArgumentLimit = 200;

// Arguments that say what a call acts on, most telling first.
constexpr std::array<std::string_view, 10> kMainArguments = {
    "command", "cmd", "file_path", "path", "pattern", "url", "query", "q", "description", "prompt"};

// A command given as an argument vector: the script of a `sh -c` form,
// else the words joined by blanks.
std::optional<std::string> command_text(const Json& command) {
  if (command.is_string()) return command.get<std::string>();
  if (!command.is_array() || command.empty()) return std::nullopt;
  for (const Json& word : command) {
    if (!word.is_string()) return std::nullopt;
  }
  const auto& first = command.front().get_ref<const std::string&>();
  if (command.size() == 3 && (first.ends_with("sh") || first.ends_with("bash") || first.ends_with("zsh"))) {
    const auto& flag = command[1].get_ref<const std::string&>();
    if (flag == "-lc" || flag == "-c") return command[2].get<std::string>();
  }
  std::string text;
  for (const Json& word : command) {
    if (!text.empty()) text += ' ';
    text += word.get_ref<const std::string&>();
  }
  return text;
}

std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return first_line(text, kArgumentLimit);
}

// The files a patch names ("*** Update File: src/a.rs").
std::optional<std::string> patch_files(std::string_view patch) {
  static constexpr std::array<std::string_view, 3> kMarks = {"*** Add File: ", "*** Update File: ",
                                                             "*** Delete File: "};
  std::string files;
  std::size_t start = 0;
  while (start < patch.size()) {
    const std::size_t end = std::min(patch.find('\n', start), patch.size());
    const std::string_view line = patch.substr(start, end - start);
    for (const std::string_view mark : kMarks) {
      if (!line.starts_with(mark)) continue;
      if (!files.empty()) files += ", ";
      files += line.substr(mark.size());
    }
    start = end + 1;
  }
  if (files.empty()) return std::nullopt;
  return files;
}

std::optional<std::string> main_argument(const Json& arguments) {
  for (const std::string_view key : kMainArguments) {
    const Json* value = member(&arguments, key);
    if (value == nullptr) continue;
    if (auto text = command_text(*value)) return text;
  }
  return std::nullopt;
}

const Json* raw_of(const Event& event) { return event.raw ? &*event.raw : nullptr; }

// The exit status and failure the facts say, over what the record gave.
void with_facts(const Event& event, ToolOutput& out) {
  if (event.facts.exit_code) out.exit_code = event.facts.exit_code;
  if (event.facts.tool_error) out.failed = *event.facts.tool_error;
}

// JSON held inside a string (Codex arguments and outputs), parsed only when
// it nests no deeper than the readers accept; otherwise discarded.
Json parse_inner(std::string_view text) {
  constexpr int kDepthLimit = 128;
  int depth = 0;
  bool in_string = false, escaped = false;
  for (const char c : text) {
    if (in_string) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kDepthLimit) return Json(Json::value_t::discarded);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  try {
    return Json::parse(text, nullptr, false);
  } catch (const Json::exception&) {
    return Json(Json::value_t::discarded);
  }
}

}  // namespace

const Json* codex_payload(const Event& event) {
  const Json* raw = raw_of(event);
  if (const Json* payload = object_member(raw, "payload")) return payload;
  return raw != nullptr && raw->is_object() ? raw : nullptr;
}

std::string codex_call_line(const Event& event) {
  if (event.facts.tool_name) {
    std::string line = event.facts.tool_name->str();
    if (event.facts.tool_input && !event.facts.tool_input->empty()) line += ": " + event.facts.tool_input->str();
    return line;
  }
  const Json* payload = codex_payload(event);
  if (payload == nullptr) return event.message.value_or("tool");
  std::string name(string_member(payload, "name").value_or(string_member(payload, "type").value_or("tool")));
  std::optional<std::string> argument;
  if (const auto text = string_member(payload, "arguments")) {
    const Json parsed = parse_inner(*text);
    if (!parsed.is_discarded()) argument = main_argument(parsed);
    if (!argument && !parsed.is_object()) argument = std::string(*text);
  } else if (const auto input = string_member(payload, "input")) {
    argument = patch_files(*input);
    if (!argument) argument = std::string(*input);
  } else if (const Json* action = object_member(payload, "action")) {
    argument = main_argument(*action);
  } else {
    argument = main_argument(*payload);
  }
  if (!argument || argument->empty()) return name;
  return name + ": " + one_line(std::move(*argument));
}

std::optional<std::string> codex_call_id(const Event& event) {
  if (event.facts.tool_call_id) return event.facts.tool_call_id->str();
  if (event.source.source_id) return event.source.source_id->str();
  if (const auto id = string_member(codex_payload(event), "call_id")) return std::string(*id);
  return std::nullopt;
}

std::optional<ToolOutput> codex_tool_output(const Event& event) {
  const Json* payload = codex_payload(event);
  if (payload == nullptr) {
    if (!event.message && !event.facts.exit_code && !event.facts.tool_error) return std::nullopt;
    ToolOutput out{event.message.value_or(""), std::nullopt, false};
    with_facts(event, out);
    return out;
  }
  ToolOutput out;
  if (const Json* output = member(payload, "output"); output != nullptr && output->is_string()) {
    // Function outputs are often a JSON object of their own: {"output", "metadata"}.
    const std::string& text = output->get_ref<const std::string&>();
    const Json parsed = text.starts_with('{') ? parse_inner(text) : Json();
    if (const auto inner = string_member(&parsed, "output")) {
      out.text = std::string(*inner);
      out.exit_code = integer_member(object_member(&parsed, "metadata"), "exit_code");
    } else {
      out.text = text;
    }
  } else if (const auto aggregated = string_member(payload, "aggregated_output")) {
    out.text = std::string(*aggregated);
  } else if (const auto stdout_text = string_member(payload, "stdout")) {
    out.text = std::string(*stdout_text);
    if (const auto stderr_text = string_member(payload, "stderr"); stderr_text && !stderr_text->empty()) {
      out.text += (out.text.empty() || out.text.ends_with('\n')) ? "" : "\n";
      out.text += *stderr_text;
    }
  } else if (event.message) {
    out.text = event.message->str();
  } else if (const Json* output = member(payload, "output"); output != nullptr) {
    out.text = output->dump(-1, ' ', false, Json::error_handler_t::replace);
  }
  if (!out.exit_code) out.exit_code = integer_member(payload, "exit_code");
  const Json* success = member(payload, "success");
  out.failed = (out.exit_code && *out.exit_code != 0) || (success != nullptr && success->is_boolean() && !success->get<bool>());
  with_facts(event, out);
  return out;
}

std::optional<std::string> codex_reasoning_text(const Event& event) {
  if (event.message) return event.message->str();
  const Json* summary = member(codex_payload(event), "summary");
  if (summary == nullptr || !summary->is_array()) return std::nullopt;
  std::string text;
  for (const Json& part : *summary) {
    const auto piece = string_member(&part, "text");
    if (!piece) continue;
    if (!text.empty()) text += "\n\n";
    text += *piece;
  }
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<std::string> codex_message_text(const Event& event) {
  if (event.message) return event.message->str();
  const Json* content = member(codex_payload(event), "content");
  if (content == nullptr || !content->is_array()) return std::nullopt;
  std::string text;
  bool any = false;
  for (const Json& part : *content) {
    const auto piece = string_member(&part, "text");
    if (!piece) continue;
    if (any) text += '\n';
    any = true;
    text += *piece;
  }
  if (!any) return std::nullopt;
  return text;
}

bool codex_injected_text(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return false;
  text.remove_prefix(start);
  if (text.starts_with("# AGENTS.md") || text.starts_with("# Context from my IDE setup")) return true;
  // A leading tag: "<environment_context>", "<user_instructions>"…
  if (!text.starts_with('<')) return false;
  const std::size_t close = text.find('>');
  if (close == std::string_view::npos || close < 2 || close > 64) return false;
  for (const char c : text.substr(1, close - 1)) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-' || c == ' ';
    if (!word) return false;
  }
  return true;
}

std::optional<std::string> codex_model(const Event& event) {
  if (event.facts.model) return event.facts.model->str();
  if (const auto model = string_member(codex_payload(event), "model")) return std::string(*model);
  return std::nullopt;
}

std::optional<std::string> codex_git_branch(const Event& event) {
  if (event.facts.git_branch) return event.facts.git_branch->str();
  if (const auto branch = string_member(object_member(codex_payload(event), "git"), "branch")) {
    return std::string(*branch);
  }
  return std::nullopt;
}

std::optional<std::string> claude_block_id(const Event& event, std::size_t nth, bool results) {
  if (event.facts.tool_call_id) return event.facts.tool_call_id->str();
  const Json* content = member(object_member(raw_of(event), "message"), "content");
  if (content == nullptr || !content->is_array()) return std::nullopt;
  std::size_t seen = 0;
  for (const Json& block : *content) {
    const std::string_view type = string_member(&block, "type").value_or("");
    const bool matches = results ? (type == "tool_result" || type.ends_with("_tool_result"))
                                 : (type == "tool_use" || type == "server_tool_use");
    if (!matches) continue;
    if (seen++ != nth) continue;
    const auto id = string_member(&block, results ? "tool_use_id" : "id");
    if (!id) return std::nullopt;
    return std::string(*id);
  }
  return std::nullopt;
}

std::optional<std::string> claude_git_branch(const Event& event) {
  if (event.facts.git_branch) {
    if (event.facts.git_branch->empty()) return std::nullopt;
    return event.facts.git_branch->str();
  }
  const auto branch = string_member(raw_of(event), "gitBranch");
  if (!branch || branch->empty()) return std::nullopt;
  return std::string(*branch);
}

}  // namespace vt::report
