// The reader of one legacy Copilot CLI session document's entries (see
// legacy_session.hpp): the timeline first (legacy_timeline.cpp), then the
// chat messages that repeat it (legacy_chat.cpp), each matched to the entry
// it repeats.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "copilot_cli/copilot_event.hpp"
#include "core/ordered_matches.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::copilot {

// `text` less the blanks around it.
std::string_view trimmed(std::string_view text);

// Fed the document's start, its timeline entries in order, then its chat
// messages in order; the events go to `out`.
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

}  // namespace vt::copilot
