// The making of one Gemini CLI file's events, shared by its readers: where a
// record lies (line, source key), when it happened and how that is known,
// and the identifiers, shared texts and record types of its events.
//
// Source keys (with the block's position as the identifier's ordinal):
//   "gemini_session:{line}"            a line of a session written line by line
//   "gemini_session:{line}:message:{i}" message i of an update line's messages
//   "gemini_session:session"           the header of a session document
//   "gemini_session:message:{i}"       message i of a session document
//   "gemini_log:{i}"                   entry i of the prompt log
//   "gemini_checkpoint:{i}"            content i of a saved chat
//   "gemini_shell_history:{line}"      a line of the shell history
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/options.hpp"
#include "core/records.hpp"
#include "core/repeated_texts.hpp"
#include "hash/event_id.hpp"
#include "jsonl/json_view.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::gemini {

// An optional text as an event holds it.
inline OptionalShared text_of(std::optional<std::string_view> text) {
  return text ? OptionalShared(*text) : OptionalShared();
}

// What every event of one record shares.
// Its texts and values are views: the caller keeps what they show alive
// while the record's events are made.
struct RecordPlace {
  std::optional<std::uint64_t> line;
  std::string_view key;
  std::optional<Instant> time;
  TimestampSource time_source = TimestampSource::None;
  std::optional<JsonView> time_value;  // the timestamp as written (`timestamp_raw`)
  OptionalShared session;
  OptionalShared record_id;  // the agent's id of the record (also its `source_id`)
  const JsonView* raw = nullptr;  // the record, kept with `include_raw`
};

class EventMaker {
 public:
  EventMaker(ArtifactKind kind, SharedString relative_path, const ParseOptions& options)
      : kind_(kind), relative_path_(std::move(relative_path)), options_(options) {}

  // A new event of the record at the end of `sink.events`.
  Event& add(const RecordPlace& place, EventType type, std::string_view record_type,
             std::optional<std::uint64_t> ordinal, RecordSink& sink);
  // `add`, with a warning naming what the reader does not map.
  Event& add_unknown(const RecordPlace& place, std::string_view record_type, std::optional<std::uint64_t> ordinal,
                     std::string_view warning, RecordSink& sink);
  // A diagnostic about the record (or the file, without a line).
  void diagnose(RecordSink& sink, DiagnosticCode code, Severity severity, std::optional<std::uint64_t> line,
                std::string message) const;
  // Where a diagnostic about the whole file points.
  SourceRef file_source() const { return SourceRef{kind_, std::nullopt, relative_path_, std::nullopt, std::nullopt}; }

  // The record's time from `value` (an RFC 3339 text): embedded when it reads,
  // else the time of the record before (`referenced_event`) when the value is
  // absent, none (and a diagnostic naming `field`) when it does not read.
  void set_time(RecordPlace& place, const JsonView* value, std::string_view field, RecordSink& sink);
  // The record's time from the file system: the file's modification time.
  void set_file_time(RecordPlace& place) const;
  void note_file_time(std::optional<Instant> modified) { file_time_ = modified; }

  // One shared copy of a text the file keeps repeating (a session id).
  OptionalShared shared(std::optional<std::string_view> text);
  const SharedString& relative_path() const { return relative_path_; }
  const ParseOptions& options() const { return options_; }

 private:
  ArtifactKind kind_;
  SharedString relative_path_;
  const ParseOptions& options_;
  EventIds ids_;
  RepeatedTexts record_types_;
  RepeatedTexts warnings_;
  OptionalShared last_shared_;
  std::optional<Instant> last_time_;
  std::optional<Instant> file_time_;
  // The raw record of the last record given events, shared by all of them
  // (a message of many parts is copied once, not once per part).
  std::string last_raw_key_;
  SharedValue<Json> last_raw_;
};

}  // namespace vt::gemini
