// The file level of the prompt history: the shared line loop with this
// file's own wording for over-long lines, its strict stop on them, and every
// parsed value (object or not) handed to the record level.
#include <string>

#include "claude/history/claude_history.hpp"
#include "core/prompt_origin.hpp"

namespace vt::claude {

namespace {

std::string over_limit_message(std::uint64_t byte_length, std::uint64_t limit) {
  return "Line exceeds max_line_size (" + std::to_string(byte_length) + " > " + std::to_string(limit) +
         "), skipping";
}

}  // namespace

Result<FileRecords> read_claude_history(const std::filesystem::path& path,
                                        const std::filesystem::path& root,
                                        const ParseOptions& options) {
  LineRules rules;
  rules.over_limit_message = over_limit_message;
  rules.over_limit_strict_error = "Line exceeds max_line_size";
  rules.pass_non_objects = true;
  const bool include_raw = options.include_raw;
  const bool full = full_reading(options);
  HistoryFileContext context;
  return read_jsonl_records(
      path, root, options, ArtifactKind::History,
      [include_raw, full, &context](JsonView value, std::uint64_t line, const SharedString& relative_path,
                                    RecordSink& sink) {
        HistoryRecordOutput record = parse_history_record(value, relative_path, line, include_raw, context);
        // The prompt leads its record's events.
        if (full && !record.events.empty()) record.events.front().origin = prompt_origin(record.events.front());
        for (Event& event : record.events) {
          event.sequence = sink.events.size();
          sink.events.push_back(std::move(event));
        }
        for (Diagnostic& diagnostic : record.diagnostics) sink.diagnostics.push_back(std::move(diagnostic));
      },
      rules);
}

}  // namespace vt::claude
