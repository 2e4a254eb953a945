#include "codex/session_mapping.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "jsonl/fields.hpp"

namespace vt::codex {

namespace {

using Row = std::pair<std::string_view, EventType>;

// Mapping names in ascending byte order, for binary search. "message" is
// decided by the payload's role and is not in the table.
constexpr std::array kMapping{
    Row{"agent_message", EventType::AgentMessage},
    Row{"agent_reasoning", EventType::AgentReasoning},
    Row{"collab_agent_interaction_end", EventType::ToolResult},
    Row{"collab_agent_spawn_end", EventType::ToolResult},
    Row{"collab_close_end", EventType::ToolResult},
    Row{"collab_waiting_end", EventType::ToolResult},
    Row{"custom_tool_call", EventType::ToolCall},
    Row{"custom_tool_call_output", EventType::ToolResult},
    Row{"error", EventType::Error},
    Row{"exec_command_end", EventType::ToolResult},
    Row{"function_call", EventType::ToolCall},
    Row{"function_call_output", EventType::ToolResult},
    Row{"inter_agent_communication_metadata", EventType::TaskState},
    Row{"mcp_tool_call_end", EventType::ToolResult},
    Row{"patch_apply_end", EventType::ToolResult},
    Row{"reasoning", EventType::AgentReasoning},
    Row{"sub_agent_activity", EventType::TaskState},
    Row{"task_complete", EventType::TaskState},
    Row{"task_started", EventType::TaskState},
    Row{"thread_goal_updated", EventType::TaskState},
    Row{"thread_rolled_back", EventType::TaskState},
    Row{"thread_settings_applied", EventType::TaskState},
    Row{"token_count", EventType::TokenUsage},
    Row{"tool_search_call", EventType::ToolCall},
    Row{"tool_search_output", EventType::ToolResult},
    Row{"turn_aborted", EventType::TaskState},
    Row{"turn_context", EventType::TaskState},
    Row{"user_message", EventType::PromptInput},
    Row{"web_search_call", EventType::ToolCall},
    Row{"web_search_end", EventType::ToolResult},
    Row{"world_state", EventType::TaskState},
};
static_assert(std::ranges::is_sorted(kMapping, {}, &Row::first));

EventType message_role_type(const FieldRef& payload) {
  if (payload == nullptr) return EventType::Unknown;
  const auto role = get_string(*payload, "role");
  if (!role) return EventType::Unknown;
  if (*role == "user") return EventType::PromptInput;
  if (*role == "assistant") return EventType::AgentMessage;
  if (*role == "developer") return EventType::DeveloperMessage;
  return EventType::Unknown;
}

// The `text` strings of the content parts, one per line; absent when none.
std::optional<std::string> joined_content_text(JsonView payload) {
  const FieldRef content = get_field(payload, "content");
  if (content == nullptr) return std::nullopt;
  return joined_part_texts(*content);
}

}  // namespace

std::optional<std::string> joined_part_texts(JsonView parts_value, std::string_view separator) {
  const auto parts = as_array(parts_value);
  if (!parts) return std::nullopt;
  std::size_t total = 0;
  std::size_t count = 0;
  for (JsonView part : *parts) {
    if (const auto text = get_string(part, "text")) {
      total += text->size() + separator.size();
      ++count;
    }
  }
  if (count == 0) return std::nullopt;
  std::string joined;
  joined.reserve(total - separator.size());
  bool first = true;
  for (JsonView part : *parts) {
    if (const auto text = get_string(part, "text")) {
      if (!first) joined.append(separator);
      joined.append(*text);
      first = false;
    }
  }
  return joined;
}

SessionRecord view_session_record(JsonView object) {
  SessionRecord record;
  if (const auto type = get_string(object, "type")) record.record_type = *type;
  record.payload = get_object(object, "payload");
  if (record.payload != nullptr) record.payload_type = get_string(*record.payload, "type");
  return record;
}

std::optional<SessionRecord> view_legacy_record(JsonView object) {
  if (get_field(object, "payload") != nullptr) return std::nullopt;
  SessionRecord record;
  record.payload = FieldRef(object);
  if (const auto type = get_string(object, "type")) {
    record.record_type = *type;
    record.payload_type = *type;
    record.legacy = LegacyForm::Item;
    return record;
  }
  if (get_field(object, "type") != nullptr) return std::nullopt;
  if (get_string(object, "record_type") == "state") {
    record.record_type = "state";
    record.legacy = LegacyForm::State;
    return record;
  }
  if (get_string(object, "id") && get_string(object, "timestamp")) {
    record.record_type = "session_header";
    record.legacy = LegacyForm::Header;
    return record;
  }
  if (get_string(object, "role")) {
    record.record_type = "message";
    record.payload_type = "message";
    record.legacy = LegacyForm::Item;
    return record;
  }
  return std::nullopt;
}

EventType session_event_type(const SessionRecord& record) {
  if (record.legacy == LegacyForm::State) return EventType::TaskState;
  if (record.legacy == LegacyForm::Header) return EventType::SessionStart;
  if (record.record_type == "compacted") return EventType::ContextCompacted;
  if (record.record_type == "session_meta") return EventType::SessionStart;
  if (record.payload_type == "context_compacted") return EventType::ContextCompacted;
  const std::string_view name = record.payload_type.value_or(record.record_type);
  if (name == "message") return message_role_type(record.payload);
  const auto row = std::ranges::lower_bound(kMapping, name, {}, &Row::first);
  if (row != kMapping.end() && row->first == name) return row->second;
  return EventType::Unknown;
}

std::string_view session_record_type_text(const SessionRecord& record, std::string& buffer) {
  buffer.assign(record.record_type);
  if (record.payload_type && record.legacy == LegacyForm::None) buffer.append("/").append(*record.payload_type);
  return buffer;
}

std::string unmapped_record_warning(const SessionRecord& record) {
  std::string text = "Unmapped Codex record type: ";
  const bool own_type = record.payload_type && record.legacy == LegacyForm::None;
  text.append(record.record_type).append("/").append(own_type ? *record.payload_type : "none");
  return text;
}

std::optional<std::string> session_message(const SessionRecord& record, EventType type,
                                           bool include_content) {
  if (record.payload == nullptr) return std::nullopt;
  const JsonView payload = *record.payload;
  if (const auto message = get_string(payload, "message")) return std::string(*message);
  if (const auto text = get_string(payload, "text")) return std::string(*text);
  if (record.payload_type == "message") {
    if (auto joined = joined_content_text(payload)) return joined;
  }
  if (type == EventType::ToolCall) {
    const std::string_view name = get_string(payload, "name").value_or("tool");
    if (!include_content) return std::string(name);
    std::optional<std::string_view> detail = get_string(payload, "arguments");
    if (!detail && get_field(payload, "arguments") == nullptr) detail = get_string(payload, "input");
    if (!detail) return std::string(name);
    std::string message;
    message.reserve(name.size() + 2 + detail->size());
    message.append(name).append(": ").append(*detail);
    return message;
  }
  if (type == EventType::ToolResult && include_content) {
    if (const auto output = get_string(payload, "output")) return std::string(*output);
    if (get_field(payload, "output") == nullptr) {
      if (const auto result = get_string(payload, "result")) return std::string(*result);
    }
  }
  return std::nullopt;
}

std::optional<std::string> session_source_id(const SessionRecord& record) {
  if (record.payload == nullptr) return std::nullopt;
  if (const FieldRef call_id = get_field(*record.payload, "call_id")) {
    if (call_id->is_string()) return std::string(call_id->string());
    return std::nullopt;
  }
  if (const auto id = get_string(*record.payload, "id")) return std::string(*id);
  return std::nullopt;
}

}  // namespace vt::codex
