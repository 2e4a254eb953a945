// What one Claude Code session transcript holds, record by record: every
// content block of a user or assistant record becomes one event (typed text,
// injected context, commands, tool calls and results, reasoning, images), an
// API message's token usage one event however many streamed records repeat
// it (a repeating record with nothing else to say gives a chunk event), a
// record without usable content one `unknown` event saying what it lacked,
// and every other record the nearest event type (or `unknown`, named).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "claude/transcripts/transcript_facts.hpp"
#include "core/instant.hpp"
#include "core/options.hpp"
#include "core/repeated_texts.hpp"
#include "hash/event_id.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::claude {

// A file backup that a transcript's file-history snapshot names: which real
// file `file-history/<session>/<backup_file_name>` holds, and when it was
// taken (`backupTime` as written, empty when absent).
struct SnapshotBackup {
  std::string session;
  std::string backup_file_name;
  std::string file_path;
  std::string backup_time;
};

// The reader of one transcript file, fed its records in file order.
class TranscriptRecords {
 public:
  TranscriptRecords(std::string file_session, const ParseOptions& options)
      : file_session_(std::move(file_session)), options_(options) {}

  void handle(JsonView object, std::uint64_t line, const SharedString& relative_path, RecordSink& sink);

  std::vector<SnapshotBackup> take_backups() { return std::move(backups_); }
  // Computes the identifiers of the events handled, all at once (none is
  // read before): called on the file's events when its last record is in.
  void fill_ids(std::vector<Event>& events) { ids_.fill(events); }

 private:
  struct Record;
  Event& add_event(const Record& record, EventType type, std::string_view kind, std::optional<std::uint64_t> ordinal,
                   RecordSink& sink);
  void user_blocks(const Record& record, JsonView message, RecordSink& sink);
  void assistant_blocks(const Record& record, JsonView message, RecordSink& sink);
  void image_event(const Record& record, JsonView block, std::uint64_t ordinal, RecordSink& sink);
  // Whether the message held usage; `said_more`: its record gave other events.
  bool token_usage(const Record& record, JsonView message, std::uint64_t ordinal, bool said_more, RecordSink& sink);
  void other_record(const Record& record, JsonView object, RecordSink& sink);
  void note_backups(JsonView object);
  OptionalShared shared(OptionalShared& last, std::optional<std::string_view> text);

  std::string file_session_;
  const ParseOptions& options_;
  EventIds ids_;
  RepeatedTexts record_types_;
  RepeatedTexts warnings_;
  std::string scratch_;
  OptionalShared session_, directory_;
  std::optional<Instant> last_time_;
  // Where each API message's token usage event stands among the file's events.
  std::unordered_map<std::string, std::size_t> usage_events_;
  std::vector<SnapshotBackup> backups_;
  TranscriptFacts facts_;
};

}  // namespace vt::claude
