// The Claude Code prompt history (`history.jsonl`): one `prompt_input` event
// per record, followed by one attachment event per pasted item, with a
// warning for every field of the wrong JSON type.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "core/records.hpp"
#include "hash/event_id.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::claude {

// What one record yields: the prompt first, then its attachments in key
// order (sequences still 0), and the warnings in the order raised.
struct HistoryRecordOutput {
  std::vector<Event> events;
  std::vector<Diagnostic> diagnostics;
};

// What the records of one history file share: the event-id hasher and the
// record-type texts every event repeats (one copy per file).
struct HistoryFileContext {
  EventIds ids;
  SharedString history_type{"history"};
  SharedString pasted_type{"pasted_content"};
};

// One parsed line of the history; any JSON value is accepted. Never fails.
HistoryRecordOutput parse_history_record(JsonView value, const SharedString& relative_path,
                                         std::uint64_t line_number, bool include_raw,
                                         HistoryFileContext& context);

// The whole file. `root` is the directory relative paths are computed
// against. Unopenable files end the call; in strict mode so do unreadable
// lines, invalid JSON and over-long lines. Every event carries the file's
// SHA-256 and a sequence that counts the file's earlier events.
Result<FileRecords> read_claude_history(const std::filesystem::path& path,
                                        const std::filesystem::path& root,
                                        const ParseOptions& options);

}  // namespace vt::claude
