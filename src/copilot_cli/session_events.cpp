#include "copilot_cli/session_events.hpp"

#include <algorithm>
#include <array>

#include "copilot_cli/token_figures.hpp"
#include "core/prompt_origin.hpp"
#include "core/rfc3339.hpp"
#include "jsonl/fields.hpp"

namespace vt::copilot {

namespace {

// How a record type is read: as one event of a type, or by its own reader.
enum class Reading : std::uint8_t { Plain, Assistant, ToolStart, Shutdown, Start };

struct Row {
  std::string_view name;
  EventType type;
  Reading reading;
  std::string_view text_member;  // the member of `data` that is the message, if any
};

constexpr std::array kRecords{
    Row{"abort", EventType::TaskState, Reading::Plain, "reason"},
    Row{"assistant.message", EventType::AgentMessage, Reading::Assistant, ""},
    Row{"assistant.reasoning", EventType::AgentReasoning, Reading::Plain, "content"},
    Row{"assistant.turn_end", EventType::TaskState, Reading::Plain, "turnId"},
    Row{"assistant.turn_start", EventType::TaskState, Reading::Plain, "turnId"},
    Row{"external_tool.completed", EventType::TaskState, Reading::Plain, "requestId"},
    Row{"external_tool.requested", EventType::ToolCall, Reading::ToolStart, ""},
    Row{"hook.end", EventType::TaskState, Reading::Plain, "hookType"},
    Row{"hook.start", EventType::TaskState, Reading::Plain, "hookType"},
    Row{"permission.completed", EventType::TaskState, Reading::Plain, "toolCallId"},
    Row{"permission.requested", EventType::TaskState, Reading::Plain, "toolCallId"},
    Row{"session.compaction_complete", EventType::ContextCompacted, Reading::Plain, "summaryContent"},
    Row{"session.compaction_start", EventType::TaskState, Reading::Plain, ""},
    Row{"session.context_changed", EventType::TaskState, Reading::Plain, "cwd"},
    Row{"session.error", EventType::Error, Reading::Plain, "message"},
    Row{"session.info", EventType::TaskState, Reading::Plain, "message"},
    Row{"session.mode_changed", EventType::TaskState, Reading::Plain, "newMode"},
    Row{"session.model_change", EventType::TaskState, Reading::Plain, "newModel"},
    Row{"session.resume", EventType::TaskState, Reading::Plain, "resumeTime"},
    Row{"session.shutdown", EventType::TokenUsage, Reading::Shutdown, ""},
    Row{"session.start", EventType::SessionStart, Reading::Start, ""},
    Row{"session.task_complete", EventType::TaskState, Reading::Plain, "summary"},
    Row{"session.truncation", EventType::ContextCompacted, Reading::Plain, ""},
    Row{"session.usage_checkpoint", EventType::TaskState, Reading::Plain, ""},
    Row{"session.warning", EventType::TaskState, Reading::Plain, "message"},
    Row{"skill.invoked", EventType::TaskState, Reading::Plain, "name"},
    Row{"subagent.completed", EventType::TaskState, Reading::Plain, "agentName"},
    Row{"subagent.deselected", EventType::TaskState, Reading::Plain, ""},
    Row{"subagent.failed", EventType::Error, Reading::Plain, "error"},
    Row{"subagent.selected", EventType::TaskState, Reading::Plain, "agentName"},
    Row{"subagent.started", EventType::TaskState, Reading::Plain, "agentName"},
    Row{"system.message", EventType::DeveloperMessage, Reading::Plain, "content"},
    Row{"tool.execution_complete", EventType::ToolResult, Reading::Plain, ""},
    Row{"tool.execution_start", EventType::ToolCall, Reading::ToolStart, ""},
    Row{"tool.user_requested", EventType::ToolCall, Reading::ToolStart, ""},
    Row{"user.message", EventType::PromptInput, Reading::Plain, "content"},
};
static_assert(std::ranges::is_sorted(kRecords, {}, &Row::name));

const Row* row_of(std::string_view name) {
  const auto found = std::ranges::lower_bound(kRecords, name, {}, &Row::name);
  return found == kRecords.end() || found->name != name ? nullptr : &*found;
}

std::string number_text(std::optional<std::uint64_t> n) { return n ? std::to_string(*n) : std::string("?"); }

// "tokens {pre} → {post} of {limit}": what a truncation did.
std::string truncation_text(JsonView data) {
  return "tokens " + number_text(count_of(data, "preTruncationTokensInMessages")) + " \xE2\x86\x92 " +
         number_text(count_of(data, "postTruncationTokensInMessages")) + " of " +
         number_text(count_of(data, "tokenLimit"));
}

// The text blocks of a result's `contents` (`{type: "text", text}`), one a
// line, when its `content` is missing.
OptionalShared blocks_text(JsonView result) {
  const FieldRef blocks = get_field(result, "contents");
  const auto list = blocks ? as_array(*blocks) : std::nullopt;
  if (!list) return std::nullopt;
  std::optional<std::string> text;
  for (const JsonView block : *list) {
    const auto own = get_string(block, "text");
    if (!own) continue;
    text = text ? *text + "\n" + std::string(*own) : std::string(*own);
  }
  return text ? OptionalShared(*text) : OptionalShared();
}

}  // namespace

struct SessionEvents::Record {
  RecordPlace place;
  JsonView object;
  RawTimestamp time_raw;
  OptionalShared parent;
};

SessionEvents::SessionEvents(SessionDefaults defaults, const ParseOptions& options)
    : defaults_(std::move(defaults)), options_(options), session_(defaults_.session_id) {
  empty_.assign(Json::object());
}

Event& SessionEvents::add(const Record& record, EventType type, std::optional<std::uint64_t> ordinal,
                          RecordSink& sink) {
  Event& event = add_event(sink.events, ids_, record.place, type, ordinal, &types_);
  if (record.time_raw) event.timestamp_raw = record.time_raw;
  event.session_id = session_;
  event.working_directory = directory_ ? directory_ : defaults_.working_directory;
  event.facts.git_branch = branch_ ? branch_ : defaults_.git_branch;
  event.facts.parent_id = record.parent;
  if (options_.include_raw) event.raw = held_copy(record.object);
  return event;
}

OptionalShared SessionEvents::model_of(JsonView data) {
  if (OptionalShared own = text_of(data, "model")) return own;
  return model_;
}

void SessionEvents::handle(JsonView object, std::uint64_t line, const SharedString& relative_path,
                           RecordSink& sink) {
  const auto type_field = get_string(object, "type");
  if (!type_field || !get_field(object, "data")) {
    sink.diagnostics.push_back(
        Diagnostic{DiagnosticCode::UnknownRecord, Severity::Warning,
                   SourceRef{ArtifactKind::SessionLog, std::nullopt, relative_path, line, std::nullopt},
                   "Not a Copilot CLI event (no 'type' and 'data' members), skipping."});
    return;
  }
  const std::string type(*type_field);
  const std::string key = "copilot_event:" + std::to_string(line);
  Record record{RecordPlace{ArtifactKind::SessionLog, relative_path, line, key, type, text_of(object, "id")},
                object, std::nullopt, text_of(object, "parentId")};
  if (const FieldRef stamp = get_field(object, "timestamp"); stamp && !stamp->is_null()) {
    record.time_raw = raw_timestamp(*stamp);
    if (stamp->is_string()) record.place.time = parse_rfc3339(stamp->string());
    if (record.place.time) {
      record.place.time_source = TimestampSource::Embedded;
      last_time_ = record.place.time;
    } else {
      sink.diagnostics.push_back(
          Diagnostic{DiagnosticCode::InvalidTimestamp, Severity::Warning,
                     SourceRef{ArtifactKind::SessionLog, std::nullopt, relative_path, line, std::nullopt},
                     "Field 'timestamp' is not valid RFC 3339."});
    }
  }
  if (!record.place.time && last_time_) {
    record.place.time = last_time_;
    record.place.time_source = TimestampSource::ReferencedEvent;
  }
  const FieldRef data_field = get_object(object, "data");
  const JsonView data = data_field ? *data_field : JsonView(empty_, 0);
  const Row* row = row_of(type);
  if (row == nullptr) {
    Event& event = add(record, EventType::Unknown, std::nullopt, sink);
    event.warnings.push_back(warnings_.get("Unmapped Copilot CLI event type: " + type));
    return;
  }
  switch (row->reading) {
    case Reading::Assistant: return assistant_message(record, data, sink);
    case Reading::ToolStart: return tool_start(record, data, sink);
    case Reading::Shutdown: return shutdown(record, data, sink);
    case Reading::Start: return session_start(record, data, sink);
    case Reading::Plain: break;
  }
  if (type == "session.resume") run_output_.clear();
  if (type == "session.model_change") {
    if (OptionalShared model = text_of(data, "newModel")) model_ = std::move(model);
  }
  if (type == "session.context_changed") {
    // The working directory and branch of what follows.
    if (OptionalShared cwd = text_of(data, "cwd")) directory_ = std::move(cwd);
    if (OptionalShared branch = text_of(data, "branch")) branch_ = std::move(branch);
  }
  Event& event = add(record, row->type, std::nullopt, sink);
  if (!row->text_member.empty()) event.message = text_of(data, row->text_member);
  if (type == "session.truncation") event.message = truncation_text(data);
  if (type == "user.message") event.origin = prompt_origin(event);
  if (type == "tool.execution_complete") {
    const OptionalShared id = text_of(data, "toolCallId");
    event.facts.tool_call_id = id;
    if (id) {
      if (const auto call = calls_.find(id->str()); call != calls_.end()) event.facts.tool_name = call->second;
    }
    event.facts.model = text_of(data, "model");
    const FieldRef success = get_field(data, "success");
    if (success && success->is_boolean()) event.facts.tool_error = !success->boolean();
    if (const FieldRef result = get_object(data, "result")) {
      event.message = text_of(*result, "content");
      if (!event.message) event.message = blocks_text(*result);
    }
    if (const FieldRef error = get_field(data, "error"); error && !event.message) {
      event.message = error->is_string() ? OptionalShared(error->string()) : text_of(*error, "message");
    }
  }
}

void SessionEvents::session_start(const Record& record, JsonView data, RecordSink& sink) {
  if (OptionalShared id = text_of(data, "sessionId")) session_ = std::move(id);
  if (OptionalShared model = text_of(data, "selectedModel")) model_ = std::move(model);
  if (const FieldRef context = get_object(data, "context")) {
    directory_ = text_of(*context, "cwd");
    branch_ = text_of(*context, "branch");
  }
  run_output_.clear();
  Event& event = add(record, EventType::SessionStart, std::nullopt, sink);
  event.facts.model = model_;
  const OptionalShared version = text_of(data, "copilotVersion");
  event.message = "Copilot CLI " + version.value_or("(version not stated)");
}

void SessionEvents::assistant_message(const Record& record, JsonView data, RecordSink& sink) {
  const OptionalShared model = model_of(data);
  const OptionalShared message_id = text_of(data, "messageId");
  std::uint64_t ordinal = 0;
  const auto part = [&](EventType type) -> Event& {
    Event& event = add(record, type, ordinal++, sink);
    event.facts.model = model;
    event.facts.message_id = message_id;
    return event;
  };
  const OptionalShared reasoning = text_of(data, "reasoningText");
  if ((reasoning && !reasoning->empty()) || get_field(data, "reasoningOpaque")) {
    part(EventType::AgentReasoning).message = reasoning;
  }
  const OptionalShared content = text_of(data, "content");
  const bool has_text = content && content->str().find_first_not_of(" \t\r\n") != std::string::npos;
  if (has_text) part(EventType::AgentMessage).message = content;
  const FieldRef requests = get_field(data, "toolRequests");
  if (const auto list = requests ? as_array(*requests) : std::nullopt) {
    for (const JsonView request : *list) {
      const std::string_view name = get_string(request, "name").value_or("");
      const FieldRef arguments = get_field(request, "arguments");
      Event& event = part(EventType::ToolCall);
      CallText shown = call_text(name, arguments ? &*arguments : nullptr);
      event.facts.tool_input = std::move(shown.argument);
      event.facts.tool_name = OptionalShared(tools_.get(name));
      event.facts.tool_call_id = text_of(request, "toolCallId");
      event.message = std::move(shown.message);
      if (event.facts.tool_call_id) calls_.insert_or_assign(event.facts.tool_call_id->str(), event.facts.tool_name);
    }
  }
  const std::optional<std::uint64_t> output = count_of(data, "outputTokens");
  // A message with nothing else still stands in the timeline, empty.
  if (ordinal == 0 && !output) part(EventType::AgentMessage).message = content;
  if (output) {
    Event& event = part(EventType::TokenUsage);
    Usage usage;
    usage.tokens.output = output;
    event.facts.usage = usage;
    event.message = amounts_text(model.value_or("(model not stated)"), usage.tokens);
    std::uint64_t& sum = run_output_[model.value_or("")];
    sum = *output > UINT64_MAX - sum ? UINT64_MAX : sum + *output;
  }
}

void SessionEvents::tool_start(const Record& record, JsonView data, RecordSink& sink) {
  const OptionalShared id = text_of(data, "toolCallId");
  const std::string_view name = get_string(data, "toolName").value_or("");
  const bool requested = id && calls_.contains(id->str());
  Event& event = add(record, requested ? EventType::TaskState : EventType::ToolCall, std::nullopt, sink);
  const FieldRef arguments = get_field(data, "arguments");
  CallText shown = call_text(name, arguments ? &*arguments : nullptr);
  event.facts.tool_input = std::move(shown.argument);
  event.facts.tool_name = OptionalShared(tools_.get(name));
  event.facts.tool_call_id = id;
  event.facts.model = model_of(data);
  event.message = std::move(shown.message);
  if (id && !requested) calls_.emplace(id->str(), event.facts.tool_name);
}

void SessionEvents::shutdown(const Record& record, JsonView data, RecordSink& sink) {
  struct Stated {
    std::string model;
    TokenAmounts amounts;
  };
  std::vector<Stated> stated;
  if (const FieldRef metrics = get_object(data, "modelMetrics")) {
    for (const JsonView entry : metrics->members_by_key()) {
      const FieldRef usage = get_object(entry, "usage");
      stated.push_back({std::string(entry.key()), usage ? stated_amounts(*usage) : TokenAmounts{}});
    }
  }
  if (stated.empty()) {
    if (const FieldRef details = get_object(data, "tokenDetails")) {
      stated.push_back({model_of(data).value_or(text_of(data, "currentModel").value_or("")),
                        stated_amounts(*details)});
    }
  }
  if (stated.empty()) {
    Event& event = add(record, EventType::TaskState, std::nullopt, sink);
    event.message = text_of(data, "shutdownType");
    if (const OptionalShared reason = text_of(data, "errorReason")) {
      event.message = OptionalShared(event.message.value_or("error") + ": " + reason->str());
    }
    run_output_.clear();
    return;
  }
  std::uint64_t ordinal = 0;
  for (Stated& figures : stated) {
    Event& event = add(record, EventType::TokenUsage, ordinal++, sink);
    event.message = amounts_text(figures.model.empty() ? "(model not stated)" : figures.model, figures.amounts) +
                    " (stated totals at shutdown)";
    if (!figures.model.empty()) event.facts.model = OptionalShared(figures.model);
    Usage usage;
    usage.tokens = figures.amounts;
    if (usage.tokens.output) {
      // Messages that named no model count against the only model stated.
      auto given = run_output_.find(figures.model);
      if (given == run_output_.end() && stated.size() == 1) given = run_output_.find("");
      const std::uint64_t before = given == run_output_.end() ? 0 : given->second;
      usage.tokens.output = *usage.tokens.output > before ? *usage.tokens.output - before : 0;
    }
    if (usage.tokens.any()) event.facts.usage = usage;
  }
  run_output_.clear();
}

}  // namespace vt::copilot
