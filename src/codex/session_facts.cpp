#include "codex/session_facts.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

#include "core/short_text.hpp"
#include "core/tool_call_text.hpp"
#include "jsonl/fields.hpp"

namespace vt::codex {

namespace {

// Argument members that say what a call acts on, most telling first.
constexpr std::array<std::string_view, 10> kMainArguments = {
    "command", "cmd", "file_path", "path", "pattern", "url", "query", "q", "description", "prompt"};

// How many header lines of a tool output may state its exit code (before
// the "Output:" line that starts the command's own text).
constexpr int kHeaderLines = 8;

constexpr std::string_view kResetWarning =
    "Codex token totals went down (the count started again): this event's amounts are its totals";

std::optional<std::uint64_t> count_of(JsonView object, std::string_view key) {
  const FieldRef count = get_field(object, key);
  if (!count || count->kind() != JsonKind::Unsigned) return std::nullopt;
  return count->unsigned_value();
}

std::optional<std::int64_t> integer_of(const FieldRef& field) {
  if (!field) return std::nullopt;
  if (field->kind() == JsonKind::Integer) return field->integer();
  if (field->kind() == JsonKind::Unsigned && field->unsigned_value() <= INT64_MAX) {
    return static_cast<std::int64_t>(field->unsigned_value());
  }
  return std::nullopt;
}

std::optional<std::string_view> text_of(const FieldRef& field) {
  if (!field || !field->is_string() || field->string().empty()) return std::nullopt;
  return field->string();
}

std::optional<TokenTotals> totals_of(const FieldRef& usage) {
  if (!usage) return std::nullopt;
  TokenTotals totals{count_of(*usage, "input_tokens"), count_of(*usage, "cached_input_tokens"),
                     count_of(*usage, "output_tokens"), count_of(*usage, "reasoning_output_tokens")};
  if (!totals.input && !totals.cached_input && !totals.output && !totals.reasoning) return std::nullopt;
  return totals;
}

// Totals as amounts: fresh input apart from the cached part.
TokenAmounts amounts_of(const TokenTotals& t) {
  TokenAmounts a;
  if (t.input) a.input = *t.input - std::min(*t.input, t.cached_input.value_or(0));
  a.cache_read = t.cached_input;
  a.output = t.output;
  a.reasoning = t.reasoning;
  return a;
}

// A command given as text or as an argument vector: the script of a
// `sh -c` form, else the words joined by blanks.
std::optional<std::string> command_text(JsonView command) {
  if (command.is_string()) return std::string(command.string());
  const auto words = as_array(command);
  if (!words) return std::nullopt;
  std::size_t count = 0;
  for (const JsonView word : *words) {
    if (!word.is_string()) return std::nullopt;
    ++count;
  }
  if (count == 0) return std::nullopt;
  auto word = words->begin();
  const std::string_view first = (*word).string();
  if (count == 3 && (first.ends_with("sh") || first.ends_with("bash") || first.ends_with("zsh"))) {
    const std::string_view flag = (*++word).string();
    if (flag == "-lc" || flag == "-c") return std::string((*++word).string());
  }
  std::string text;
  for (const JsonView each : *words) {
    if (!text.empty()) text += ' ';
    text += each.string();
  }
  return text;
}

// The first main-argument member of `object`, a command given as words too.
std::optional<std::string> argument_of(JsonView object) { return first_argument(object, kMainArguments, command_text); }

// "Exit code: N" or "Process exited with code N" among the header lines of
// a tool's output text.
std::optional<std::int64_t> header_exit_code(std::string_view output) {
  static constexpr std::array<std::string_view, 2> kLeads = {"Exit code: ", "Process exited with code "};
  std::size_t start = 0;
  for (int line = 0; line < kHeaderLines && start < output.size(); ++line) {
    const std::size_t end = std::min(output.find('\n', start), output.size());
    std::string_view text = output.substr(start, end - start);
    if (text.ends_with('\r')) text.remove_suffix(1);
    if (text == "Output:") break;
    for (const std::string_view lead : kLeads) {
      if (!text.starts_with(lead)) continue;
      const std::string_view digits = text.substr(lead.size());
      std::int64_t value = 0;
      const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (error == std::errc() && stop == digits.data() + digits.size()) return value;
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

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

TokenStep token_step(const std::optional<TokenTotals>& before, const TokenTotals& now) {
  using Member = std::optional<std::uint64_t> TokenTotals::*;
  static constexpr std::array<Member, 4> kMembers = {&TokenTotals::input, &TokenTotals::cached_input,
                                                     &TokenTotals::output, &TokenTotals::reasoning};
  TokenStep step;
  if (before) {
    for (const Member m : kMembers) {
      if ((*before).*m && now.*m && *(now.*m) < *((*before).*m)) step.reset = true;
    }
  }
  if (!before || step.reset) {
    step.amounts = amounts_of(now);
    return step;
  }
  TokenTotals grown;
  for (const Member m : kMembers) {
    if (now.*m) grown.*m = *(now.*m) - ((*before).*m).value_or(0);
  }
  step.amounts = amounts_of(grown);
  return step;
}

void SessionFacts::fill(Event& event, const SessionRecord& record, const SessionFileState& state,
                        RepeatedTexts& warnings) {
  Facts& facts = event.facts;
  facts.model = state.model();
  facts.git_branch = state.git_branch();
  facts.sidechain = state.sidechain();
  facts.agent_id = state.agent_id();
  if (record.payload == nullptr) return;
  const JsonView payload = *record.payload;
  switch (event.event_type) {
    case EventType::TokenUsage: token_count(event, payload, warnings); break;
    case EventType::ToolCall: tool_call(facts, record, payload); break;
    case EventType::ToolResult: tool_result(event, payload); break;
    case EventType::AgentReasoning: reasoning(event, payload); break;
    default: break;
  }
}

void SessionFacts::token_count(Event& event, JsonView payload, RepeatedTexts& warnings) {
  const FieldRef info = get_object(payload, "info");
  if (!info) return;
  if (const auto now = totals_of(get_object(*info, "total_token_usage"))) {
    const TokenStep step = token_step(totals_, *now);
    totals_ = now;
    event.facts.usage = Usage{step.amounts, std::nullopt, std::nullopt};
    if (step.reset) event.warnings.push_back(warnings.get(kResetWarning));
    return;
  }
  // Without running totals, the count of the last request is all there is.
  if (const auto last = totals_of(get_object(*info, "last_token_usage"))) {
    event.facts.usage = Usage{amounts_of(*last), std::nullopt, std::nullopt};
  }
}

std::optional<std::string> SessionFacts::main_argument(JsonView payload) {
  if (const FieldRef arguments = get_field(payload, "arguments")) {
    if (arguments->is_object()) return argument_of(*arguments);
    if (!arguments->is_string()) return std::nullopt;
    // Function arguments are a JSON object written as text.
    const std::string_view text = arguments->string();
    const auto parsed = inner_.parse_view(text);
    if (parsed && parsed->is_object()) return argument_of(*parsed);
    return std::string(text);
  }
  if (const auto input = get_string(payload, "input")) {
    if (auto files = patch_files(*input)) return files;
    return std::string(*input);
  }
  if (const FieldRef action = get_object(payload, "action")) return argument_of(*action);
  return argument_of(payload);
}

void SessionFacts::tool_call(Facts& facts, const SessionRecord& record, JsonView payload) {
  const auto name = text_of(get_field(payload, "name"));
  // Built-in calls without a name (web search…) go by their item type.
  const std::optional<std::string_view> shown = name ? name : record.payload_type;
  if (shown) facts.tool_name = tool_names_.get(*shown);
  if (const auto id = text_of(get_field(payload, "call_id"))) {
    facts.tool_call_id = *id;
    if (facts.tool_name) call_names_.insert_or_assign(std::string(*id), *facts.tool_name);
  }
  if (auto argument = main_argument(payload); argument && !argument->empty()) {
    facts.tool_input = one_line_argument(*argument);
  }
}

void SessionFacts::tool_result(Event& event, JsonView payload) {
  Facts& facts = event.facts;
  if (const auto id = text_of(get_field(payload, "call_id"))) {
    facts.tool_call_id = *id;
    if (const auto found = call_names_.find(std::string(*id)); found != call_names_.end()) {
      facts.tool_name = found->second;
    }
  }
  facts.exit_code = integer_of(get_field(payload, "exit_code"));
  std::optional<std::string> text;
  if (const auto output = get_string(payload, "output")) {
    // Older shell outputs: {"output": "...", "metadata": {"exit_code": N}}.
    std::optional<JsonView> parsed;
    if (output->starts_with('{')) {
      if (const auto view = inner_.parse_view(*output); view && view->is_object()) parsed = *view;
    }
    if (parsed) {
      if (const auto inner = get_string(*parsed, "output")) text = std::string(*inner);
      const FieldRef metadata = get_object(*parsed, "metadata");
      if (!facts.exit_code && metadata) facts.exit_code = integer_of(get_field(*metadata, "exit_code"));
    } else if (!facts.exit_code && !output->starts_with('{')) {
      facts.exit_code = header_exit_code(*output);
    }
    if (!text) text = std::string(*output);
  } else if (const FieldRef parts = get_field(payload, "output")) {
    text = joined_part_texts(*parts);
  } else if (const auto aggregated = get_string(payload, "aggregated_output")) {
    text = std::string(*aggregated);
  } else if (const auto out = get_string(payload, "stdout")) {
    text = std::string(*out);
    if (const auto err = get_string(payload, "stderr"); err && !err->empty()) {
      if (!text->empty() && !text->ends_with('\n')) text->push_back('\n');
      text->append(*err);
    }
  }
  if (facts.exit_code) facts.tool_error = *facts.exit_code != 0;
  if (const FieldRef success = get_field(payload, "success"); success && success->is_boolean()) {
    facts.tool_error = !success->boolean() || facts.tool_error.value_or(false);
  }
  // An MCP call's result: {"Err": …} or {"Ok": {"isError": bool, "content": […]}}.
  if (const FieldRef result = get_object(payload, "result")) {
    if (const FieldRef err = get_field(*result, "Err")) {
      facts.tool_error = true;
      if (!text && err->is_string()) text = std::string(err->string());
    } else if (const FieldRef ok = get_object(*result, "Ok")) {
      const FieldRef failed = get_field(*ok, "isError");
      facts.tool_error = failed && failed->is_boolean() && failed->boolean();
      if (const FieldRef content = get_field(*ok, "content"); !text && content) text = joined_part_texts(*content);
    }
  }
  if (text) event.message = std::move(*text);
}

void SessionFacts::reasoning(Event& event, JsonView payload) {
  if (event.message) return;
  // The summary the agent shows, else the reasoning text itself (open models).
  for (const std::string_view key : {"summary", "content"}) {
    if (const FieldRef parts = get_field(payload, key)) {
      if (auto text = joined_part_texts(*parts, "\n\n")) {
        event.message = std::move(*text);
        return;
      }
    }
  }
}

}  // namespace vt::codex
