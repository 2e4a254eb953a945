#include "codex/session_records.hpp"

#include "codex/session_mapping.hpp"
#include "core/prompt_origin.hpp"
#include "core/rfc3339.hpp"
#include "core/usage_text.hpp"
#include "jsonl/fields.hpp"

namespace vt::codex {

namespace {

// What the full reading adds to a token count: its running totals, with the
// model of the turn.
void add_running_totals(Event& event, const SessionRecord& record, const SessionFileState& state) {
  if (event.event_type != EventType::TokenUsage || event.message || record.payload == nullptr) return;
  const FieldRef info = get_object(*record.payload, "info");
  const FieldRef usage = info ? get_object(*info, "total_token_usage") : FieldRef();
  if (!usage) return;
  const auto count = [&usage](std::string_view key) -> std::optional<std::uint64_t> {
    const FieldRef value = get_field(*usage, key);
    if (!value || value->kind() != JsonKind::Unsigned) return std::nullopt;
    return value->unsigned_value();
  };
  TokenCounts totals;
  totals.input = count("input_tokens");
  totals.cached_input = count("cached_input_tokens");
  totals.output = count("output_tokens");
  totals.reasoning = count("reasoning_output_tokens");
  totals.total = count("total_tokens");
  const OptionalShared& model = state.model();
  event.message = codex_usage_text(model ? std::optional<std::string>(model->str()) : std::nullopt, totals);
}

}  // namespace

void SessionRecords::handle(JsonView object, const RecordPlace& place, const SharedString& relative_path,
                            RecordSink& sink) {
  const ParseOptions& options = options_;
  const bool full = full_reading(options);
  std::optional<SessionRecord> legacy;
  // Only a record without a payload member can be of an older form.
  if (full && get_field(object, "payload") == nullptr) legacy = view_legacy_record(object);
  const SessionRecord record = legacy ? *legacy : view_session_record(object);
  state_.apply(record);

  // Built in place where it is kept (an event is large to move).
  const std::uint64_t sequence = sink.events.size();
  Event& event = sink.events.emplace_back();
  event.provider = Provider::Codex;
  event.sequence = sequence;
  event.session_id = state_.session_id();
  event.working_directory = state_.working_directory();

  if (const FieldRef timestamp = get_field(object, "timestamp")) {
    event.timestamp_raw = raw_timestamp(*timestamp);
    if (timestamp->is_string()) event.timestamp = parse_rfc3339(timestamp->string());
    if (event.timestamp) {
      event.timestamp_source = TimestampSource::Embedded;
      last_time_ = event.timestamp;
    } else {
      sink.diagnostics.push_back(Diagnostic{
          DiagnosticCode::InvalidTimestamp, Severity::Warning,
          SourceRef{ArtifactKind::Session, std::nullopt, relative_path, place.line, std::nullopt},
          "Field 'timestamp' is not valid RFC 3339."});
    }
  } else if (full && last_time_) {
    // Older rollouts time their session header only.
    event.timestamp = last_time_;
    event.timestamp_source = TimestampSource::ReferencedEvent;
  }

  event.event_type = session_event_type(record);
  if (event.event_type == EventType::Unknown) {
    event.warnings.push_back(warnings_.get(unmapped_record_warning(record)));
  }
  event.message = session_message(record, event.event_type, options.include_content);
  if (full) {
    add_running_totals(event, record, state_);
    facts_.fill(event, record, state_, warnings_);
  }

  event.event_id = ids_.defer(Provider::Codex, ArtifactKind::Session, relative_path, place.source_key);
  const SharedString record_type = record_types_.get(session_record_type_text(record, scratch_));
  event.source = SourceRef{ArtifactKind::Session, record_type, relative_path, place.line,
                           session_source_id(record)};
  if (full) event.origin = prompt_origin(event);
  if (options.include_raw) event.raw = held_copy(object);
}

}  // namespace vt::codex
