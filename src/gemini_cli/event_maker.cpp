#include "gemini_cli/event_maker.hpp"

#include "core/rfc3339.hpp"
#include "jsonl/fields.hpp"

namespace vt::gemini {

Event& EventMaker::add(const RecordPlace& place, EventType type, std::string_view record_type,
                       std::optional<std::uint64_t> ordinal, RecordSink& sink) {
  // Made where it stays: no event is built aside and moved in.
  Event& event = sink.events.emplace_back();
  event.provider = Provider::GeminiCli;
  event.event_type = type;
  event.sequence = sink.events.size() - 1;
  event.timestamp = place.time;
  event.timestamp_source = place.time_source;
  if (place.time_value) event.timestamp_raw = raw_timestamp(*place.time_value);
  event.session_id = place.session;
  event.event_id = ids_.make(Provider::GeminiCli, kind_, relative_path_, place.key, ordinal);
  event.source = SourceRef{kind_, record_types_.get(record_type), relative_path_, place.line, place.record_id};
  event.facts.record_id = place.record_id;
  if (options_.include_raw && place.raw != nullptr) {
    if (!last_raw_ || last_raw_key_ != place.key) {
      last_raw_ = held_copy(*place.raw);
      last_raw_key_ = place.key;
    }
    event.raw = last_raw_;
  }
  return event;
}

Event& EventMaker::add_unknown(const RecordPlace& place, std::string_view record_type,
                               std::optional<std::uint64_t> ordinal, std::string_view warning, RecordSink& sink) {
  Event& event = add(place, EventType::Unknown, record_type, ordinal, sink);
  event.warnings.push_back(warnings_.get(warning));
  return event;
}

void EventMaker::diagnose(RecordSink& sink, DiagnosticCode code, Severity severity, std::optional<std::uint64_t> line,
                          std::string message) const {
  sink.diagnostics.push_back(
      Diagnostic{code, severity, SourceRef{kind_, std::nullopt, relative_path_, line, std::nullopt}, std::move(message)});
}

void EventMaker::set_time(RecordPlace& place, const JsonView* value, std::string_view field, RecordSink& sink) {
  place.time_value.reset();
  place.time.reset();
  place.time_source = TimestampSource::None;
  if (value == nullptr) {
    if (last_time_) {
      place.time = last_time_;
      place.time_source = TimestampSource::ReferencedEvent;
    }
    return;
  }
  place.time_value = *value;
  if (value->is_string()) place.time = parse_rfc3339(value->string());
  if (place.time) {
    place.time_source = TimestampSource::Embedded;
    last_time_ = place.time;
    return;
  }
  diagnose(sink, DiagnosticCode::InvalidTimestamp, Severity::Warning, place.line,
           "Field '" + std::string(field) + "' is not valid RFC 3339.");
}

void EventMaker::set_file_time(RecordPlace& place) const {
  place.time = file_time_;
  place.time_source = file_time_ ? TimestampSource::FilesystemModified : TimestampSource::None;
  place.time_value.reset();
}

OptionalShared EventMaker::shared(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  if (!last_shared_ || *last_shared_ != *text) last_shared_ = OptionalShared(*text);
  return last_shared_;
}

}  // namespace vt::gemini
