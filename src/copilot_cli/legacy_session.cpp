#include "copilot_cli/legacy_session.hpp"

#include <unordered_map>

#include "core/ordered_matches.hpp"

#include "core/prompt_origin.hpp"
#include "core/rfc3339.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/json_parse.hpp"
#include "jsonl/line_json.hpp"
#include "jsonl/relative_path.hpp"
#include "jsonl/whole_document.hpp"

namespace vt::copilot {

namespace {

std::string_view trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t\r\n") + 1 - start);
}

class LegacyReader {
 public:
  LegacyReader(FileRecords& out, const SharedString& relative_path, const ParseOptions& options)
      : out_(out), relative_path_(relative_path), options_(options) {}

  void start(JsonView document, OptionalShared session);
  // The chat messages follow the whole timeline, from the session's start.
  void begin_chat() { last_time_ = start_time_; }
  void timeline_entry(JsonView entry, std::size_t index);
  void chat_message(JsonView message, std::size_t index);

 private:
  struct Place {
    std::string key;
    std::string_view record_type;
    OptionalShared record_id;
    std::optional<Instant> time;
    TimestampSource source = TimestampSource::None;
    JsonView object;
  };
  Event& add(const Place& place, EventType type, std::optional<std::uint64_t> ordinal);
  void as_copy(Event& event, std::optional<std::size_t> original);
  void diagnose(DiagnosticCode code, std::string message) {
    out_.diagnostics.push_back(Diagnostic{code, Severity::Warning,
                                          SourceRef{ArtifactKind::SessionLog, std::nullopt, relative_path_,
                                                    std::nullopt, std::nullopt},
                                          std::move(message)});
  }

  FileRecords& out_;
  const SharedString& relative_path_;
  const ParseOptions& options_;
  EventIds ids_;
  RepeatedTexts types_;
  OptionalShared session_, model_;
  std::optional<Instant> start_time_, last_time_;
  OrderedMatches users_, texts_;  // the timeline's prompts by typed text, agent texts by text
  std::unordered_map<std::string, std::size_t> calls_, results_;
};

Event& LegacyReader::add(const Place& place, EventType type, std::optional<std::uint64_t> ordinal) {
  const RecordPlace where{ArtifactKind::SessionLog, relative_path_, std::nullopt, place.key, place.record_type,
                          place.record_id, place.time, place.source};
  Event& event = add_event(out_.events, ids_, where, type, ordinal, &types_);
  event.session_id = session_;
  if (options_.include_raw) event.raw = held_copy(place.object);
  return event;
}

// A copy takes its original's time and points at it; anything else the
// time of the part before it.
void LegacyReader::as_copy(Event& event, std::optional<std::size_t> original) {
  if (!original) {
    event.timestamp = last_time_;
    event.timestamp_source = last_time_ ? TimestampSource::ReferencedEvent : TimestampSource::None;
    return;
  }
  const Event& first = out_.events[*original];
  event.copy_of = OptionalShared(std::string_view(first.event_id));
  event.timestamp = first.timestamp;
  event.timestamp_source = first.timestamp ? TimestampSource::ReferencedEvent : TimestampSource::None;
  last_time_ = first.timestamp;
}

void LegacyReader::start(JsonView document, OptionalShared session) {
  if (OptionalShared own = text_of(document, "sessionId")) session = std::move(own);
  session_ = std::move(session);
  model_ = text_of(document, "selectedModel");
  Place place{"copilot_legacy:session", "session", std::nullopt, std::nullopt, TimestampSource::None, document};
  if (const auto text = get_string(document, "startTime")) place.time = parse_rfc3339(*text);
  if (place.time) place.source = TimestampSource::Embedded;
  start_time_ = last_time_ = place.time;
  Event& event = add(place, EventType::SessionStart, std::nullopt);
  if (place.time) event.timestamp_raw = Json(*get_string(document, "startTime"));
  event.message = "Copilot CLI session";
  event.facts.model = model_;
}

void LegacyReader::timeline_entry(JsonView entry, std::size_t index) {
  const std::string_view type = get_string(entry, "type").value_or("unknown");
  const std::string record_type = "timeline/" + std::string(type);
  Place place{"copilot_legacy:timeline:" + std::to_string(index), record_type, text_of(entry, "id"),
              std::nullopt, TimestampSource::None, entry};
  const FieldRef stamp = get_field(entry, "timestamp");
  if (stamp && stamp->is_string()) place.time = parse_rfc3339(stamp->string());
  if (stamp && !place.time) {
    diagnose(DiagnosticCode::InvalidTimestamp,
             "Field 'timestamp' of timeline entry " + std::to_string(index) + " is not valid RFC 3339.");
  }
  if (place.time) {
    place.source = TimestampSource::Embedded;
    last_time_ = place.time;
  } else {
    place.time = last_time_;
    place.source = TimestampSource::ReferencedEvent;
  }
  const auto stamped = [&](Event& event) -> Event& {
    if (stamp && place.source == TimestampSource::Embedded) event.timestamp_raw = held_copy(*stamp);
    return event;
  };
  if (type == "user" || type == "copilot" || type == "info" || type == "error") {
    const EventType kind = type == "user"      ? EventType::PromptInput
                           : type == "copilot" ? EventType::AgentMessage
                           : type == "error"   ? EventType::Error
                                               : EventType::TaskState;
    Event& event = stamped(add(place, kind, std::nullopt));
    event.message = text_of(entry, "text");
    if (kind == EventType::PromptInput) {
      event.origin = prompt_origin(event);
      users_.add(std::string(typed_part(event.message.value_or(""))), out_.events.size() - 1);
    } else if (kind == EventType::AgentMessage) {
      event.facts.model = model_;
      texts_.add(std::string(trimmed(event.message.value_or(""))), out_.events.size() - 1);
    }
    return;
  }
  if (type == "tool_call_completed") {
    const OptionalShared id = text_of(entry, "callId");
    const std::string_view name = get_string(entry, "name").value_or("");
    const FieldRef arguments = get_field(entry, "arguments");
    Event& call = stamped(add(place, EventType::ToolCall, 0));
    std::string message = call_message(name, arguments ? &*arguments : nullptr);
    call.facts.tool_input = main_argument(name, message);
    call.message = std::move(message);
    call.facts.tool_name = OptionalShared(name);
    call.facts.tool_call_id = id;
    call.facts.model = model_;
    if (id) calls_.emplace(id->str(), out_.events.size() - 1);
    Event& result = stamped(add(place, EventType::ToolResult, 1));
    result.facts.tool_name = OptionalShared(name);
    result.facts.tool_call_id = id;
    if (const FieldRef outcome = get_object(entry, "result")) {
      result.message = text_of(*outcome, "log");
      if (const auto kind = get_string(*outcome, "type")) result.facts.tool_error = *kind != "success";
    }
    if (id) results_.emplace(id->str(), out_.events.size() - 1);
    return;
  }
  Event& event = stamped(add(place, EventType::Unknown, std::nullopt));
  event.warnings.push_back(SharedString("Unmapped Copilot CLI timeline entry: " + std::string(type)));
}

void LegacyReader::chat_message(JsonView message, std::size_t index) {
  const std::string_view role = get_string(message, "role").value_or("unknown");
  const std::string record_type = "chat/" + std::string(role);
  const Place place{"copilot_legacy:message:" + std::to_string(index), record_type, std::nullopt, std::nullopt,
                    TimestampSource::None, message};
  const OptionalShared content = text_of(message, "content");
  if (role == "user") {
    Event& event = add(place, EventType::PromptInput, std::nullopt);
    event.message = content;
    event.origin = prompt_origin(event);
    const std::string text = content.value_or("");
    as_copy(event, users_.take(std::string(typed_part(text))));
    return;
  }
  if (role == "tool") {
    Event& event = add(place, EventType::ToolResult, std::nullopt);
    event.message = content;
    event.facts.tool_call_id = text_of(message, "tool_call_id");
    std::optional<std::size_t> original;
    if (event.facts.tool_call_id) {
      if (const auto found = results_.find(event.facts.tool_call_id->str()); found != results_.end()) {
        original = found->second;
        results_.erase(found);
      }
    }
    if (original) event.facts.tool_name = out_.events[*original].facts.tool_name;
    as_copy(event, original);
    return;
  }
  if (role != "assistant") {
    Event& event = add(place, EventType::Unknown, std::nullopt);
    event.message = content;
    event.warnings.push_back(SharedString("Unmapped Copilot CLI chat message role: " + std::string(role)));
    as_copy(event, std::nullopt);
    return;
  }
  std::uint64_t ordinal = 0;
  const FieldRef calls = get_field(message, "tool_calls");
  const bool any_calls = calls && calls->is_array() && calls->children().begin() != calls->children().end();
  if (content.value_or("").find_first_not_of(" \t\r\n") != std::string::npos || !any_calls) {
    Event& event = add(place, EventType::AgentMessage, ordinal++);
    event.message = content;
    event.facts.model = model_;
    const std::string own = content.value_or("");
    as_copy(event, texts_.take(std::string(trimmed(own))));
  }
  if (!any_calls) return;
  for (const JsonView call : calls->children()) {
    Event& event = add(place, EventType::ToolCall, ordinal++);
    const FieldRef function = get_object(call, "function");
    const std::string_view name = function ? get_string(*function, "name").value_or("") : "";
    // The arguments are a JSON text of their own.
    std::optional<Json> arguments;
    if (const auto text = function ? get_string(*function, "arguments") : std::nullopt) {
      if (auto parsed = parse_json_text(*text)) arguments = std::move(*parsed);
    }
    JsonTape tape;
    if (arguments) tape.assign(*arguments);
    const JsonView view(tape, 0);
    std::string shown = call_message(name, arguments ? &view : nullptr);
    event.facts.tool_input = main_argument(name, shown);
    event.message = std::move(shown);
    event.facts.tool_name = OptionalShared(name);
    event.facts.tool_call_id = text_of(call, "id");
    event.facts.model = model_;
    std::optional<std::size_t> original;
    if (event.facts.tool_call_id) {
      if (const auto found = calls_.find(event.facts.tool_call_id->str()); found != calls_.end()) {
        original = found->second;
        calls_.erase(found);
      }
    }
    as_copy(event, original);
  }
}

}  // namespace

std::optional<std::string> legacy_session_id(std::string_view name) {
  if (!name.starts_with("session_") || !name.ends_with(".json")) return std::nullopt;
  name = name.substr(8, name.size() - 8 - 5);
  const std::size_t cut = name.rfind('_');
  if (cut == std::string_view::npos || cut == 0 || cut + 1 == name.size()) return std::nullopt;
  for (const char c : name.substr(cut + 1)) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return std::string(name.substr(0, cut));
}

Result<FileRecords> read_legacy_session(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                        const ParseOptions& options) {
  auto read = read_whole_document(path, options);
  if (!read) return fail(std::move(read.error()));
  WholeDocument& document = *read;
  const SharedString relative_path(relative_path_for(path, base_dir));
  FileRecords out;
  out.sha256 = std::move(document.sha256);
  const auto report = [&](DiagnosticCode code, Severity severity, std::string message) {
    out.diagnostics.push_back(Diagnostic{
        code, severity, SourceRef{ArtifactKind::SessionLog, std::nullopt, relative_path, std::nullopt, std::nullopt},
        std::move(message)});
  };
  if (auto unread = unread_document(
          document, "session document",
          SourceRef{ArtifactKind::SessionLog, std::nullopt, relative_path, std::nullopt, std::nullopt},
          options.max_line_size)) {
    out.diagnostics.push_back(std::move(*unread));
    return out;
  }
  LineJsonParser parser;
  auto value = parser.parse_view(document.text);
  if (!value) {
    report(DiagnosticCode::InvalidJson, Severity::Error, "Invalid JSON: " + value.error());
    return out;
  }
  const FieldRef timeline = value->is_object() ? get_field(*value, "timeline") : FieldRef();
  const FieldRef chat = value->is_object() ? get_field(*value, "chatMessages") : FieldRef();
  if (!(timeline && timeline->is_array()) && !(chat && chat->is_array())) {
    report(DiagnosticCode::UnknownRecord, Severity::Warning,
           "Not a Copilot CLI session document (no 'timeline' or 'chatMessages' array), skipping.");
    return out;
  }
  LegacyReader reader(out, relative_path, options);
  reader.start(*value, OptionalShared(legacy_session_id(path.filename().string())));
  const auto each = [&](const FieldRef& list, std::string_view what, auto&& read_one) {
    if (!list || !list->is_array()) return;
    std::size_t index = 0;
    for (const JsonView item : list->children()) {
      if (item.is_object()) {
        read_one(item, index);
      } else {
        report(DiagnosticCode::UnknownRecord, Severity::Warning,
               std::string(what) + " " + std::to_string(index) + " of the session document is not an object.");
      }
      ++index;
    }
  };
  each(timeline, "Timeline entry", [&](JsonView item, std::size_t i) { reader.timeline_entry(item, i); });
  reader.begin_chat();
  each(chat, "Chat message", [&](JsonView item, std::size_t i) { reader.chat_message(item, i); });
  stamp_file_digest(out);
  return out;
}

}  // namespace vt::copilot
