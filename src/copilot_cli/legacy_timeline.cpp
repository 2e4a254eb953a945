// The timeline of a legacy Copilot CLI session document: its start, and each
// entry as the events the person saw.
#include "copilot_cli/legacy_reader.hpp"

#include "core/prompt_origin.hpp"
#include "core/rfc3339.hpp"
#include "jsonl/fields.hpp"

namespace vt::copilot {

std::string_view trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t\r\n") + 1 - start);
}

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
    if (stamp && place.source == TimestampSource::Embedded) event.timestamp_raw = raw_timestamp(*stamp);
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
    CallText shown = call_text(name, arguments ? &*arguments : nullptr);
    call.facts.tool_input = std::move(shown.argument);
    call.message = std::move(shown.message);
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

}  // namespace vt::copilot
