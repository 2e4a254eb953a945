#include "claude/transcripts/record_texts.hpp"

#include <algorithm>
#include <array>

#include "jsonl/fields.hpp"

namespace vt::claude {

namespace {

using Row = std::pair<std::string_view, EventType>;

// Records other than user and assistant ones, by `type` (or "system/{subtype}").
constexpr std::array kOtherRecords{
    Row{"agent-name", EventType::TaskState},
    Row{"ai-title", EventType::TaskState},
    Row{"attachment", EventType::Attachment},
    Row{"custom-title", EventType::TaskState},
    Row{"file-history-snapshot", EventType::TaskState},
    Row{"last-prompt", EventType::TaskState},
    Row{"permission-mode", EventType::TaskState},
    Row{"pr-link", EventType::TaskState},
    Row{"progress", EventType::TaskState},
    Row{"queue-operation", EventType::TaskState},
    Row{"summary", EventType::ContextCompacted},
    Row{"system", EventType::TaskState},
    Row{"system/api_error", EventType::Error},
    Row{"system/away_summary", EventType::TaskState},
    Row{"system/compact_boundary", EventType::ContextCompacted},
    Row{"system/informational", EventType::TaskState},
    Row{"system/local_command", EventType::ToolResult},
    Row{"system/stop_hook_summary", EventType::TaskState},
    Row{"system/turn_duration", EventType::TaskState},
};
static_assert(std::ranges::is_sorted(kOtherRecords, {}, &Row::first));

// An API error that says no text of its own: its cause and the retry,
// "ConnectionRefused (retry 1 of 10)".
std::optional<std::string> api_error_cause(JsonView object) {
  FieldRef cause = get_object(object, "cause");
  if (!cause) {
    if (const FieldRef error = get_object(object, "error")) cause = get_object(*error, "cause");
  }
  std::string text;
  if (cause) {
    if (const auto code = first_string(*cause, {"code", "message", "name"})) text = std::string(*code);
  }
  const FieldRef attempt = get_field(object, "retryAttempt"), most = get_field(object, "maxRetries");
  const auto attempt_number = attempt ? exact_int64(*attempt) : std::nullopt;
  const auto most_number = most ? exact_int64(*most) : std::nullopt;
  if (attempt_number) {
    std::string retry = "retry " + std::to_string(*attempt_number);
    if (most_number) retry += " of " + std::to_string(*most_number);
    text = text.empty() ? retry : text + " (" + retry + ")";
  }
  if (text.empty()) return std::nullopt;
  return text;
}

}  // namespace

std::optional<std::string> opt_string(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  return std::string(*text);
}

std::optional<EventType> other_record_type(std::string_view name) {
  const auto found = std::ranges::lower_bound(kOtherRecords, name, {}, &Row::first);
  if (found == kOtherRecords.end() || found->first != name) return std::nullopt;
  return found->second;
}

// The first of `keys` that the object holds as a string.
std::optional<std::string_view> first_string(JsonView object, std::initializer_list<std::string_view> keys) {
  for (const std::string_view key : keys) {
    if (const auto text = get_string(object, key)) return text;
  }
  return std::nullopt;
}

// What a record's other events say: its own text where it has one.
std::optional<std::string> other_message(std::string_view name, JsonView object) {
  if (name == "summary") return opt_string(get_string(object, "summary"));
  if (name == "ai-title") return opt_string(get_string(object, "aiTitle"));
  if (name == "custom-title") return opt_string(get_string(object, "customTitle"));
  if (name == "agent-name") return opt_string(get_string(object, "agentName"));
  if (name == "last-prompt") return opt_string(get_string(object, "lastPrompt"));
  if (name == "permission-mode") return opt_string(get_string(object, "permissionMode"));
  if (name == "pr-link") return opt_string(get_string(object, "prUrl"));
  if (name == "queue-operation") {
    const auto operation = get_string(object, "operation");
    const auto content = get_string(object, "content");
    if (!operation) return opt_string(content);
    return content ? std::string(*operation) + ": " + std::string(*content) : std::string(*operation);
  }
  if (name == "progress" || name == "attachment") {
    const FieldRef inner = get_object(object, name == "progress" ? "data" : "attachment");
    if (!inner) return std::nullopt;
    const auto type = get_string(*inner, "type");
    const auto detail = first_string(*inner, {"filename", "path", "agentId", "hookName"});
    if (!type) return opt_string(detail);
    return detail ? std::string(*type) + ": " + std::string(*detail) : std::string(*type);
  }
  if (name == "system/api_error") {
    if (const auto content = get_string(object, "content")) return std::string(*content);
    if (const FieldRef error = get_object(object, "error")) {
      if (const auto text = get_string(*error, "message")) return std::string(*text);
      if (const FieldRef inner = get_object(*error, "error")) {
        if (const auto text = get_string(*inner, "message")) return std::string(*text);
      }
    }
    return api_error_cause(object);
  }
  if (name == "system/turn_duration") {
    const FieldRef ms = get_field(object, "durationMs");
    if (ms && ms->is_number()) {
      if (const auto value = exact_int64(*ms)) return "turn took " + std::to_string(*value) + " ms";
    }
    return std::nullopt;
  }
  return opt_string(get_string(object, "content"));
}

// The files a file-history snapshot record tracks, one per line.
std::optional<std::string> snapshot_paths_text(JsonView object) {
  const FieldRef snapshot = get_object(object, "snapshot");
  if (!snapshot) return std::nullopt;
  const FieldRef tracked = get_object(*snapshot, "trackedFileBackups");
  if (!tracked) return std::nullopt;
  std::string text;
  for (const JsonView entry : tracked->members_by_key()) {
    if (!text.empty()) text += '\n';
    text += entry.key();
  }
  return text;
}

// The text of a tool result's content: a string, or its text parts joined
// by line breaks (other parts named in brackets).
std::optional<std::string> result_text(const FieldRef& content) {
  if (!content) return std::nullopt;
  if (content->is_string()) return std::string(content->string());
  const auto parts = as_array(*content);
  if (!parts) return std::nullopt;
  std::string text;
  bool any = false;
  for (const JsonView part : *parts) {
    if (any) text += '\n';
    any = true;
    const auto type = get_string(part, "type");
    if (type && *type == "text") {
      if (const auto body = get_string(part, "text")) text += *body;
    } else {
      text += '[';
      text += type ? *type : std::string_view("part");
      text += ']';
    }
  }
  return text;
}

// "{model}: input {n}, cache write {n}, cache read {n}, output {n}", each
// count only when the usage holds it as a whole number.
std::string usage_text(std::optional<std::string_view> model, JsonView usage) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kCounts = {{
      {"input_tokens", "input"},
      {"cache_creation_input_tokens", "cache write"},
      {"cache_read_input_tokens", "cache read"},
      {"output_tokens", "output"},
  }};
  std::string text;
  if (model) {
    text += *model;
    text += ": ";
  }
  bool first = true;
  for (const auto& [key, label] : kCounts) {
    const FieldRef count = get_field(usage, key);
    if (!count || count->kind() != JsonKind::Unsigned) continue;
    if (!first) text += ", ";
    first = false;
    text += label;
    text += ' ';
    text += std::to_string(count->unsigned_value());
  }
  return text;
}

// The warning of a user or assistant record whose `content` gives no block:
// what it lacked, so no line goes by unexplained.
std::string content_lack(std::string_view record, const FieldRef& content) {
  std::string text = "Claude Code " + std::string(record) + " record ";
  if (!content) return text + "without content";
  if (content->is_array()) return text + "with an empty content list";
  const std::string_view kind = json_type_name(*content);
  const std::string_view article = kind == "null" ? "" : kind == "object" ? "an " : "a ";
  return text + "whose content is " + std::string(article) + std::string(kind) + ", not text or blocks";
}

}  // namespace vt::claude
