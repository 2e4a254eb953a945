// TranscriptRecords: one transcript record mapped onto its events (prompts,
// answers, reasoning, tool calls and results, usage, the other records), the
// facts every event of a record shares filled once; the texts they say come
// from record_texts.
#include "claude/transcripts/transcript_records.hpp"

#include <array>

#include "claude/transcripts/record_texts.hpp"
#include "claude/transcripts/tool_summary.hpp"
#include "claude/transcripts/user_text.hpp"
#include "core/line_key.hpp"
#include "core/prompt_origin.hpp"
#include "core/rfc3339.hpp"
#include "core/tool_call_text.hpp"
#include "hash/base64.hpp"
#include "hash/sha256.hpp"
#include "jsonl/fields.hpp"

namespace vt::claude {

namespace {

bool is_true(const FieldRef& field) { return field && field->is_boolean() && field->boolean(); }

std::optional<std::string_view> string_of(const FieldRef& field) {
  if (!field || !field->is_string()) return std::nullopt;
  return field->string();
}

// The members of a record's envelope, found in one pass over its members
// (the last of repeated keys wins, as everywhere).
struct Envelope {
  FieldRef type, subtype, sidechain, session, cwd, uuid, timestamp, message, meta, compact, api_error;
  FieldRef parent, agent, branch, cost;  // read for the facts
};

Envelope read_envelope(JsonView object) {
  Envelope e;
  for (const JsonView member : object.children()) {
    const std::string_view key = member.key();
    FieldRef* slot = key == "type"                ? &e.type
                     : key == "subtype"           ? &e.subtype
                     : key == "isSidechain"       ? &e.sidechain
                     : key == "sessionId"         ? &e.session
                     : key == "cwd"               ? &e.cwd
                     : key == "uuid"              ? &e.uuid
                     : key == "timestamp"         ? &e.timestamp
                     : key == "message"           ? &e.message
                     : key == "isMeta"            ? &e.meta
                     : key == "isCompactSummary"  ? &e.compact
                     : key == "isApiErrorMessage" ? &e.api_error
                     : key == "parentUuid"        ? &e.parent
                     : key == "agentId"           ? &e.agent
                     : key == "gitBranch"         ? &e.branch
                     : key == "costUSD"           ? &e.cost
                                                  : nullptr;
    if (slot != nullptr) *slot = FieldRef(member);
  }
  return e;
}

}  // namespace

// The facts every event of one record shares.
struct TranscriptRecords::Record {
  std::uint64_t line;
  const SharedString& relative_path;
  std::string_view key;  // "claude_transcript:{line}", the source key of the record's events
  std::string_view type;   // the record's `type`, or "system/{subtype}"
  bool sidechain;
  OptionalShared session;
  OptionalShared directory;
  OptionalShared uuid;
  std::optional<Instant> time;
  TimestampSource time_source = TimestampSource::None;
  RawTimestamp time_raw;
  JsonView object;
  const Envelope& envelope;
  SharedValue<Json> raw;  // one copy of the record for all its events, when asked for
  Facts facts;            // what every event of the record carries (full reading)
};

OptionalShared TranscriptRecords::shared(OptionalShared& last, std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  if (!last || *last != *text) last = OptionalShared(*text);
  return last;
}

Event& TranscriptRecords::add_event(const Record& record, EventType type, std::string_view kind,
                                    std::optional<std::uint64_t> ordinal, RecordSink& sink) {
  // Built in place where it is kept (an event is large to move).
  const std::uint64_t sequence = sink.events.size();
  Event& event = sink.events.emplace_back();
  event.provider = Provider::ClaudeCode;
  event.event_type = type;
  event.sequence = sequence;
  event.timestamp = record.time;
  event.timestamp_source = record.time_source;
  if (record.time_raw) event.timestamp_raw = record.time_raw;
  event.session_id = record.session;
  event.working_directory = record.directory;
  scratch_.clear();
  if (record.sidechain) scratch_ += "sidechain/";
  scratch_ += kind;
  event.event_id = ids_.defer(Provider::ClaudeCode, ArtifactKind::Transcript, record.relative_path, record.key, ordinal);
  event.source = SourceRef{ArtifactKind::Transcript, record_types_.get(scratch_), record.relative_path, record.line,
                           record.uuid};
  if (full_reading(options_)) {
    event.origin = prompt_origin(event);  // by record type alone
    event.facts = record.facts;
  }
  event.raw = record.raw;
  return event;
}

void TranscriptRecords::handle(JsonView object, std::uint64_t line, const SharedString& relative_path,
                               RecordSink& sink) {
  const Envelope envelope = read_envelope(object);
  const std::optional<std::string_view> type = string_of(envelope.type);
  std::string type_name(type ? *type : std::string_view("unknown"));
  if (type_name == "system") {
    if (const auto subtype = string_of(envelope.subtype)) type_name += "/" + std::string(*subtype);
  }
  const LineKey key("claude_transcript:", line);
  Record record{line, relative_path, key, type_name,
                is_true(envelope.sidechain), shared(session_, string_of(envelope.session)),
                shared(directory_, string_of(envelope.cwd)), opt_string(string_of(envelope.uuid)), std::nullopt,
                TimestampSource::None, std::nullopt, object, envelope, std::nullopt, Facts{}};
  if (options_.include_raw) record.raw = held_copy(object);
  if (full_reading(options_)) {
    const FactMembers members{envelope.uuid, envelope.parent, envelope.sidechain,
                              envelope.agent, envelope.branch, envelope.cost};
    record.facts = facts_.record_facts(members, record.uuid, envelope.message);
  }
  if (envelope.timestamp) {
    record.time_raw = raw_timestamp(*envelope.timestamp);
    if (const auto text = string_of(envelope.timestamp)) record.time = parse_rfc3339(*text);
    if (record.time) {
      record.time_source = TimestampSource::Embedded;
      last_time_ = record.time;
    } else {
      sink.diagnostics.push_back(Diagnostic{
          DiagnosticCode::InvalidTimestamp, Severity::Warning,
          SourceRef{ArtifactKind::Transcript, std::nullopt, relative_path, line, std::nullopt},
          "Field 'timestamp' is not valid RFC 3339."});
    }
  } else if (last_time_) {
    record.time = last_time_;
    record.time_source = TimestampSource::ReferencedEvent;
  }

  if (type_name == "user" || type_name == "assistant") {
    const FieldRef& message = envelope.message;
    if (message && message->is_object()) {
      if (type_name == "user") {
        user_blocks(record, *message, sink);
      } else {
        assistant_blocks(record, *message, sink);
      }
      return;
    }
    Event& event = add_event(record, EventType::Unknown, type_name, std::nullopt, sink);
    event.warnings.push_back(warnings_.get("Claude Code " + type_name + " record without a message object"));
    return;
  }
  if (type_name == "file-history-snapshot") note_backups(object);
  other_record(record, object, sink);
}

void TranscriptRecords::user_blocks(const Record& record, JsonView message, RecordSink& sink) {
  const FieldRef content = get_field(message, "content");
  const bool is_meta = is_true(record.envelope.meta);
  const bool is_compact = is_true(record.envelope.compact);
  const auto typed_text = [&](std::string_view text, std::optional<std::uint64_t> ordinal) {
    if (is_compact) {
      add_event(record, EventType::ContextCompacted, "user/compact_summary", ordinal, sink).message = text;
      return;
    }
    const UserTextOrigin origin = user_text_origin(text, is_meta);
    const EventType type = origin == UserTextOrigin::Injected ? EventType::DeveloperMessage : EventType::PromptInput;
    add_event(record, type, user_text_kind(origin), ordinal, sink).message = text;
  };
  if (content && content->is_string()) {
    typed_text(content->string(), std::nullopt);
    return;
  }
  const auto blocks = content ? as_array(*content) : std::nullopt;
  if (!blocks || blocks->begin() == blocks->end()) {
    Event& event = add_event(record, EventType::Unknown, "user", std::nullopt, sink);
    event.warnings.push_back(warnings_.get(content_lack("user", content)));
    return;
  }
  std::uint64_t ordinal = 0;
  for (const JsonView block : *blocks) {
    const std::string_view kind = get_string(block, "type").value_or("unknown");
    if (kind == "text") {
      typed_text(get_string(block, "text").value_or(""), ordinal);
    } else if (kind == "tool_result") {
      const FieldRef error = get_field(block, "is_error");
      const bool failed = is_true(error);
      Event& event = add_event(record, EventType::ToolResult, failed ? "user/tool_error" : "user/tool_result",
                               ordinal, sink);
      event.message = result_text(get_field(block, "content"));
      if (full_reading(options_)) facts_.tool_result(event.facts, block, true);
    } else if (kind == "image") {
      image_event(record, block, ordinal, sink);
    } else {
      scratch_ = "user/";
      scratch_ += kind;
      const std::string warning = "Unmapped Claude Code content block: " + scratch_;
      Event& event = add_event(record, EventType::Unknown, std::string(scratch_), ordinal, sink);
      event.warnings.push_back(warnings_.get(warning));
    }
    ++ordinal;
  }
}

void TranscriptRecords::image_event(const Record& record, JsonView block, std::uint64_t ordinal, RecordSink& sink) {
  Event& event = add_event(record, EventType::ImageAttachment, "user/image", ordinal, sink);
  const FieldRef source = get_object(block, "source");
  if (!source) return;
  Artifact artifact;
  artifact.media_type = opt_string(get_string(*source, "media_type"));
  const auto data = get_string(*source, "data");
  if (!data) {
    // An image given by address: the address is all there is.
    event.message = opt_string(get_string(*source, "url"));
    event.artifact = std::move(artifact);
    return;
  }
  const std::optional<std::string> bytes = base64_decode(*data);
  if (!bytes) {
    sink.diagnostics.push_back(Diagnostic{
        DiagnosticCode::InvalidFieldType, Severity::Warning,
        SourceRef{ArtifactKind::Transcript, std::nullopt, record.relative_path, record.line, record.uuid},
        "Field 'source.data' of an image block is not Base64."});
    event.artifact = std::move(artifact);
    return;
  }
  artifact.size = bytes->size();
  artifact.sha256 = hex_lower(sha256_of(*bytes));
  const std::uint64_t limit = options_.max_content_size;
  if (options_.include_content && (limit == 0 || bytes->size() <= limit)) {
    artifact.content = base64_encode(*bytes);
    artifact.content_encoding = ContentEncoding::Base64;
  }
  event.artifact = std::move(artifact);
}

void TranscriptRecords::assistant_blocks(const Record& record, JsonView message, RecordSink& sink) {
  const bool is_error = is_true(record.envelope.api_error);
  const FieldRef content = get_field(message, "content");
  std::uint64_t ordinal = 0;
  const std::size_t events_before = sink.events.size();
  const auto blocks = content ? as_array(*content) : std::nullopt;
  if (content && content->is_string()) {
    add_event(record, is_error ? EventType::Error : EventType::AgentMessage, "assistant/text", ordinal++, sink)
        .message = content->string();
  } else if (content && !blocks) {
    // Content of another kind is damage, whatever else the record holds.
    Event& event = add_event(record, EventType::Unknown, "assistant", std::nullopt, sink);
    event.warnings.push_back(warnings_.get(content_lack("assistant", content)));
  } else if (blocks) {
    for (const JsonView block : *blocks) {
      const std::string_view kind = get_string(block, "type").value_or("unknown");
      if (kind == "text") {
        add_event(record, is_error ? EventType::Error : EventType::AgentMessage, "assistant/text", ordinal, sink)
            .message = get_string(block, "text").value_or("");
      } else if (kind == "thinking" || kind == "redacted_thinking") {
        Event& event = add_event(record, EventType::AgentReasoning, kind == "thinking" ? "assistant/thinking"
                                                                                       : "assistant/redacted_thinking",
                                 ordinal, sink);
        event.message = opt_string(get_string(block, "thinking"));
      } else if (kind == "tool_use" || kind == "server_tool_use") {
        const std::string_view name = get_string(block, "name").value_or("");
        const FieldRef input = get_field(block, "input");
        std::optional<std::string> argument = tool_main_argument(input ? &*input : nullptr);
        const std::string_view shown = kind == "tool_use" ? "assistant/tool_use" : "assistant/server_tool_use";
        Event& event = add_event(record, EventType::ToolCall, shown, ordinal, sink);
        event.message = call_message(name, argument) + todo_lines(input ? &*input : nullptr);
        if (full_reading(options_)) facts_.tool_call(event.facts, block, std::move(argument));
      } else if (kind.ends_with("_tool_result")) {
        Event& event = add_event(record, EventType::ToolResult, "assistant/" + std::string(kind), ordinal, sink);
        event.message = result_text(get_field(block, "content"));
        if (full_reading(options_)) facts_.tool_result(event.facts, block, false);
      } else {
        const std::string shown = "assistant/" + std::string(kind);
        Event& event = add_event(record, EventType::Unknown, shown, ordinal, sink);
        event.warnings.push_back(warnings_.get("Unmapped Claude Code content block: " + shown));
      }
      ++ordinal;
    }
  }
  // A usage-only chunk (no content, or an empty list) is the usage's record;
  // without usage the line is explained by its own event.
  const bool said_more = sink.events.size() != events_before;
  if (!token_usage(record, message, ordinal, said_more, sink) && !said_more) {
    Event& event = add_event(record, EventType::Unknown, "assistant", std::nullopt, sink);
    event.warnings.push_back(warnings_.get(content_lack("assistant", content)));
  }
}

bool TranscriptRecords::token_usage(const Record& record, JsonView message, std::uint64_t ordinal,
                                    bool said_more, RecordSink& sink) {
  const FieldRef usage = get_object(message, "usage");
  if (!usage) return false;
  const auto id = get_string(message, "id");
  std::string text = usage_text(get_string(message, "model"), *usage);
  if (id) {
    // Streamed chunks of one message repeat its usage, growing: the last
    // one read holds the final counts. A chunk that says nothing else keeps
    // its line in the timeline as a chunk event of the same message (its own
    // counts; the message is counted once, by its id).
    const auto [slot, added] = usage_events_.try_emplace(std::string(*id), sink.events.size());
    if (!added) {
      // The message's tokens stay on its first event (a chunk event carries none).
      Event& first = sink.events[slot->second];
      first.message = text;
      if (full_reading(options_)) first.facts.usage = TranscriptFacts::usage(*usage, record.envelope.cost);
      if (said_more) return true;
      Event& chunk = add_event(record, EventType::TokenUsage, "assistant/usage_chunk", ordinal, sink);
      chunk.message = std::move(text);
      chunk.source.source_id = *id;
      return true;
    }
  }
  Event& event = add_event(record, EventType::TokenUsage, "assistant/usage", ordinal, sink);
  event.message = std::move(text);
  if (full_reading(options_)) event.facts.usage = TranscriptFacts::usage(*usage, record.envelope.cost);
  if (id) event.source.source_id = *id;
  return true;
}

void TranscriptRecords::other_record(const Record& record, JsonView object, RecordSink& sink) {
  const std::optional<EventType> type = other_record_type(record.type);
  Record own = record;
  // Records that name their place by another member than `uuid`.
  if (!own.uuid) {
    own.uuid = opt_string(first_string(object, {"leafUuid", "messageId"}));
  }
  Event& event = add_event(own, type.value_or(EventType::Unknown), record.type, std::nullopt, sink);
  if (!type) {
    event.warnings.push_back(warnings_.get("Unmapped Claude Code record type: " + std::string(record.type)));
    return;
  }
  if (record.type == "file-history-snapshot") {
    event.message = snapshot_paths_text(object);
    return;
  }
  event.message = other_message(record.type, object);
}

void TranscriptRecords::note_backups(JsonView object) {
  const FieldRef snapshot = get_object(object, "snapshot");
  if (!snapshot) return;
  const FieldRef tracked = get_object(*snapshot, "trackedFileBackups");
  if (!tracked) return;
  const std::string session = session_ ? session_->str() : file_session_;
  for (const JsonView entry : tracked->members_by_key()) {
    const auto backup = get_string(entry, "backupFileName");
    if (!backup) continue;
    const auto time = get_string(entry, "backupTime");
    backups_.push_back(SnapshotBackup{session, std::string(*backup), std::string(entry.key()),
                                      time ? std::string(*time) : std::string()});
  }
}

}  // namespace vt::claude
