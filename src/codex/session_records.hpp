// One rollout's records turned into events, one event per record, under the
// file's running state (session, working directory, model, the latest
// time). The record loop of a rollout log and the reader of an older rollout
// document both feed it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codex/session_facts.hpp"
#include "codex/session_state.hpp"
#include "core/instant.hpp"
#include "core/options.hpp"
#include "core/repeated_texts.hpp"
#include "hash/event_id.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::codex {

// Where a record sits: a line of a rollout log, or an item of an older
// rollout document (no line; its own source key).
// The key is read while the record is handled only.
struct RecordPlace {
  std::optional<std::uint64_t> line;
  std::string_view source_key;
};

class SessionRecords {
 public:
  SessionRecords(std::optional<std::string> file_session, const ParseOptions& options)
      : state_(std::move(file_session)), options_(options) {}

  void handle(JsonView object, const RecordPlace& place, const SharedString& relative_path, RecordSink& sink);
  // Computes the identifiers of the events handled, all at once (none is
  // read before): called on the file's events when its last record is in.
  void fill_ids(std::vector<Event>& events) { ids_.fill(events); }

 private:
  SessionFileState state_;
  const ParseOptions& options_;
  EventIds ids_;
  RepeatedTexts warnings_;
  RepeatedTexts record_types_;
  std::string scratch_;  // the record type text being looked up
  std::optional<Instant> last_time_;
  SessionFacts facts_;  // full reading only
};

}  // namespace vt::codex
