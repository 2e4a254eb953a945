#include "gemini_cli/chat_messages.hpp"

#include <limits>
#include <vector>

#include "core/rfc3339.hpp"
#include "core/tool_call_text.hpp"
#include "gemini_cli/tool_text.hpp"
#include "jsonl/fields.hpp"

namespace vt::gemini {

namespace {

std::optional<std::string_view> string_of(const FieldRef& field) {
  if (!field || !field->is_string()) return std::nullopt;
  return field->string();
}

std::optional<std::uint64_t> count_of(JsonView object, std::string_view key) {
  const FieldRef field = get_field(object, key);
  if (!field || field->kind() != JsonKind::Unsigned) return std::nullopt;
  return field->unsigned_value();
}

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

// Gemini counts the cached part inside `input`, the prompt of tool use
// apart (fresh input is input less cached, plus the tool prompt), and its
// thoughts apart from `output` (billed as output: the output is both, of
// which reasoning the thoughts).
TokenAmounts token_amounts(JsonView tokens) {
  TokenAmounts amounts;
  const auto input = count_of(tokens, "input");
  const auto cached = count_of(tokens, "cached");
  const auto tool = count_of(tokens, "tool");
  if (input || tool) {
    const std::uint64_t read = input.value_or(0);
    const std::uint64_t fresh = read - std::min(read, cached.value_or(0));
    amounts.input = saturating_add(fresh, tool.value_or(0));
  }
  amounts.cache_read = cached;
  const auto output = count_of(tokens, "output");
  amounts.reasoning = count_of(tokens, "thoughts");
  if (output || amounts.reasoning) amounts.output = saturating_add(output.value_or(0), amounts.reasoning.value_or(0));
  return amounts;
}

// "{model}: input N, cache read N, output N, reasoning N", each amount only
// when present.
std::string usage_text(const OptionalShared& model, const TokenAmounts& amounts) {
  std::string text;
  if (model) {
    text += model->str();
    text += ": ";
  }
  bool first = true;
  const auto add = [&](std::string_view label, const std::optional<std::uint64_t>& value) {
    if (!value) return;
    if (!first) text += ", ";
    first = false;
    text += label;
    text += ' ';
    text += std::to_string(*value);
  };
  add("input", amounts.input);
  add("cache read", amounts.cache_read);
  add("output", amounts.output);
  add("reasoning", amounts.reasoning);
  return text;
}

// A thought as one text: its subject, then its description.
std::optional<std::string> thought_text(JsonView thought) {
  const auto subject = get_string(thought, "subject");
  const auto description = get_string(thought, "description");
  if (!subject && !description) return std::nullopt;
  if (!subject) return std::string(*description);
  if (!description) return std::string(*subject);
  return std::string(*subject) + "\n" + std::string(*description);
}

// A message's content parts: a list's items, or the one part a content
// object is (the API's part list may be a single part).
std::vector<JsonView> parts_of(const FieldRef& content) {
  std::vector<JsonView> parts;
  if (!content) return parts;
  if (content->is_object()) {
    parts.push_back(*content);
  } else if (content->is_array()) {
    for (const JsonView part : content->children()) parts.push_back(part);
  }
  return parts;
}

// The first member name of an object part ("inlineData", "fileData"…).
std::string_view part_kind(JsonView part) {
  for (const JsonView member : part.children()) return member.key();
  return "part";
}

}  // namespace

RecordPlace ChatMessages::own_time(const RecordPlace& place, JsonView object, std::string_view field,
                                   RecordSink& sink) {
  RecordPlace own = place;
  const FieldRef value = get_field(object, "timestamp");
  if (!value) return own;
  const std::optional<Instant> time = value->is_string() ? parse_rfc3339(value->string()) : std::nullopt;
  if (!time) {
    maker_.diagnose(sink, DiagnosticCode::InvalidTimestamp, Severity::Warning, place.line,
                    "Field '" + std::string(field) + "' is not valid RFC 3339.");
    return own;
  }
  own.time = time;
  own.time_source = TimestampSource::Embedded;
  own.time_value = *value;
  return own;
}

void ChatMessages::header(JsonView object, RecordPlace place, RecordSink& sink) {
  ++segment_;
  session_ = maker_.shared(get_string(object, "sessionId"));
  if (project_hash_.empty()) {
    if (const auto hash = get_string(object, "projectHash")) project_hash_ = std::string(*hash);
  }
  const FieldRef start = get_field(object, "startTime");
  maker_.set_time(place, start ? &*start : nullptr, "startTime", sink);
  place.session = session_;
  Event& event = maker_.add(place, EventType::SessionStart, "session", std::nullopt, sink);
  if (const auto summary = get_string(object, "summary")) event.message = *summary;
  MessageSpan span;
  span.first = sink.events.size() - 1;
  span.count = 1;
  span.segment = segment_;
  span.header = true;
  if (const auto text = string_of(start)) span.time = std::string(*text);
  if (session_) span.session = session_->str();
  spans_.push_back(std::move(span));
}

void ChatMessages::message(JsonView message, RecordPlace place, RecordSink& sink) {
  const std::size_t first = sink.events.size();
  const FieldRef id = get_field(message, "id");
  const FieldRef timestamp = get_field(message, "timestamp");
  place.session = session_;
  if (const auto text = string_of(id)) place.record_id = OptionalShared(*text);
  maker_.set_time(place, timestamp ? &*timestamp : nullptr, "timestamp", sink);
  place.raw = &message;
  const auto type = get_string(message, "type");
  const FieldRef content = get_field(message, "content");
  if (type == "user") {
    user_blocks(message, place, sink);
  } else if (type == "gemini") {
    gemini_blocks(message, place, sink);
  } else if (type == "info" || type == "warning" || type == "error") {
    const EventType event_type = type == "error" ? EventType::Error : EventType::TaskState;
    maker_.add(place, event_type, *type, std::nullopt, sink).message = parts_text(content ? &*content : nullptr);
  } else {
    const std::string shown = type ? std::string(*type) : std::string("unknown");
    maker_.add_unknown(place, shown, std::nullopt, "Unmapped Gemini CLI message type: " + shown, sink);
  }
  MessageSpan span;
  span.first = first;
  span.count = sink.events.size() - first;
  span.segment = segment_;
  if (const auto text = string_of(id)) span.id = std::string(*text);
  if (const auto text = string_of(timestamp)) span.time = std::string(*text);
  if (session_) span.session = session_->str();
  spans_.push_back(std::move(span));
}

void ChatMessages::user_blocks(JsonView message, const RecordPlace& place, RecordSink& sink) {
  const FieldRef content = get_field(message, "content");
  const auto prompt = [&](std::string_view text, std::optional<std::uint64_t> ordinal) {
    Event& event = maker_.add(place, EventType::PromptInput, "user", ordinal, sink);
    event.message = text;
    event.origin = user_text_origin(text);
  };
  if (content && content->is_string()) {
    prompt(content->string(), std::nullopt);
    return;
  }
  const std::vector<JsonView> parts = parts_of(content);
  if (parts.empty()) {
    maker_.add_unknown(place, "user", std::nullopt, "Gemini CLI user message without content", sink);
    return;
  }
  std::uint64_t ordinal = 0;
  for (const JsonView part : parts) {
    if (const auto text = get_string(part, "text")) {
      prompt(*text, ordinal);
    } else if (const FieldRef response = get_object(part, "functionResponse")) {
      Event& event = maker_.add(place, EventType::ToolResult, "user/function_response", ordinal, sink);
      const FieldRef body = get_field(*response, "response");
      event.message = response_text(body ? &*body : nullptr);
      event.facts.tool_name = text_of(get_string(*response, "name"));
      event.facts.tool_call_id = text_of(get_string(*response, "id"));
    } else if (part.is_object() && (get_object(part, "inlineData") || get_object(part, "fileData"))) {
      const FieldRef data = get_object(part, "inlineData") ? get_object(part, "inlineData") : get_object(part, "fileData");
      Event& event = maker_.add(place, EventType::Attachment, "user/" + std::string(part_kind(part)), ordinal, sink);
      const auto uri = get_string(*data, "fileUri");
      event.message = text_of(uri ? uri : get_string(*data, "mimeType"));
    } else {
      const std::string shown = "user/" + std::string(part.is_object() ? part_kind(part) : json_type_name(part));
      maker_.add_unknown(place, shown, ordinal, "Unmapped Gemini CLI content part: " + shown, sink);
    }
    ++ordinal;
  }
}

void ChatMessages::gemini_blocks(JsonView message, const RecordPlace& place, RecordSink& sink) {
  const std::size_t first = sink.events.size();
  // One shared copy of the model's name while messages repeat it.
  const auto named = get_string(message, "model");
  if (named && (!model_ || *model_ != *named)) model_ = OptionalShared(*named);
  const OptionalShared model = named ? model_ : OptionalShared();
  std::uint64_t ordinal = 0;
  const FieldRef thoughts = get_field(message, "thoughts");
  if (thoughts && thoughts->is_array()) {
    for (const JsonView thought : thoughts->children()) {
      if (!thought.is_object()) {
        maker_.add_unknown(place, "gemini/thought", ordinal++, "Gemini CLI thought is not an object", sink);
        continue;
      }
      const RecordPlace own = own_time(place, thought, "thoughts.timestamp", sink);
      maker_.add(own, EventType::AgentReasoning, "gemini/thought", ordinal++, sink).message = thought_text(thought);
    }
  }
  const FieldRef content = get_field(message, "content");
  if (content && (content->is_array() || content->is_object())) {
    for (const JsonView part : parts_of(content)) {
      const auto text = get_string(part, "text");
      if (text) {
        maker_.add(place, EventType::AgentMessage, "gemini/text", ordinal++, sink).message = *text;
      } else {
        const std::string shown = "gemini/" + std::string(part.is_object() ? part_kind(part) : json_type_name(part));
        maker_.add_unknown(place, shown, ordinal++, "Unmapped Gemini CLI content part: " + shown, sink);
      }
    }
  } else if (content && content->is_string() && !content->string().empty()) {
    maker_.add(place, EventType::AgentMessage, "gemini/text", ordinal++, sink).message = content->string();
  }
  const FieldRef calls = get_field(message, "toolCalls");
  if (calls && calls->is_array()) {
    for (const JsonView call : calls->children()) tool_call(call, place, ordinal, sink);
  }
  if (const FieldRef tokens = get_object(message, "tokens")) token_usage(*tokens, model, place, ordinal++, sink);
  if (sink.events.size() == first) {
    // Nothing but (empty) text: the message is still one event.
    Event& event = maker_.add(place, EventType::AgentMessage, "gemini/text", ordinal, sink);
    if (content && content->is_string()) event.message = content->string();
  }
  if (!model) return;
  for (std::size_t i = first; i < sink.events.size(); ++i) sink.events[i].facts.model = model_;
}

void ChatMessages::tool_call(JsonView call, const RecordPlace& place, std::uint64_t& ordinal, RecordSink& sink) {
  if (!call.is_object()) {
    maker_.add_unknown(place, "gemini/tool_call", ordinal++, "Gemini CLI tool call is not an object", sink);
    return;
  }
  const RecordPlace own = own_time(place, call, "toolCalls.timestamp", sink);
  const auto name = get_string(call, "name");
  const auto id = get_string(call, "id");
  const FieldRef args = get_field(call, "args");
  const std::optional<std::string> argument = call_argument(args ? &*args : nullptr);
  Event& event = maker_.add(own, EventType::ToolCall, "gemini/tool_call", ordinal++, sink);
  event.message = call_message(name.value_or(""), argument);
  event.facts.tool_name = text_of(name);
  event.facts.tool_call_id = text_of(id);
  event.facts.tool_input = argument;

  const auto status = get_string(call, "status");
  const FieldRef result = get_field(call, "result");
  // Not finished when written: no result, and no status or one that says
  // the call is still on its way ("scheduled", "executing"…).
  const bool ended = status && (*status == "success" || *status == "error" || *status == "cancelled");
  if (!ended && (!result || result->is_null())) return;
  const bool failed = status && *status != "success";
  Event& outcome = maker_.add(own, EventType::ToolResult, failed ? "gemini/tool_error" : "gemini/tool_result",
                              ordinal++, sink);
  std::optional<std::string> text = parts_text(result ? &*result : nullptr);
  if (!text) {
    if (const auto display = get_string(call, "resultDisplay")) text = std::string(*display);
  }
  outcome.message = std::move(text);
  outcome.facts.tool_name = text_of(name);
  outcome.facts.tool_call_id = text_of(id);
  if (status) outcome.facts.tool_error = failed;
}

void ChatMessages::token_usage(JsonView tokens, const OptionalShared& model, const RecordPlace& place,
                               std::uint64_t ordinal, RecordSink& sink) {
  const TokenAmounts amounts = token_amounts(tokens);
  Event& event = maker_.add(place, EventType::TokenUsage, "gemini/tokens", ordinal, sink);
  event.message = usage_text(model, amounts);
  if (amounts.any()) event.facts.usage = Usage{amounts, std::nullopt, std::nullopt};
}

}  // namespace vt::gemini
