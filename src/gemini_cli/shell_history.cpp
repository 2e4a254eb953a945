// The shell history of a project (`shell_history`): the commands the person
// ran in the CLI's shell mode, one per line, oldest first, with no time.
// Each non-blank line is one `prompt_input` of origin `command`, at the
// file's modification time (`filesystem_modified`); line order keeps their
// order within that time.
#include <string>

#include "core/input_files.hpp"
#include "gemini_cli/document_file.hpp"
#include "gemini_cli/file_readers.hpp"
#include "hash/file_metadata.hpp"
#include "jsonl/line_reader.hpp"
#include "jsonl/relative_path.hpp"
#include "jsonl/trim.hpp"

namespace vt::gemini {

namespace {

constexpr std::uint64_t kLinesBetweenCancelChecks = 4096;

}  // namespace

Result<FileRead> read_shell_history(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                    const ParseOptions& options) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  auto reader = JsonlReader::open(path, options.max_line_size, StoredAs::Plain, options.progress);
  if (!reader) return fail(std::move(reader.error()));
  if (options.inputs != nullptr) options.inputs->note(path);
  reader->stop_when(options.cancel);
  EventMaker maker(ArtifactKind::GeminiShellHistory, SharedString(relative_path_for(path, base_dir)), options);
  if (const auto metadata = read_file_metadata(path)) maker.note_file_time(metadata->times.modified);
  FileRead read;
  RecordSink sink{read.records.events, read.records.diagnostics};
  LineView line;
  while (reader->next_view(line)) {
    if (line.line_number % kLinesBetweenCancelChecks == 0 && cancel_requested(options)) {
      return fail(ParseError::interrupted());
    }
    if (line.failed) {
      maker.diagnose(sink, DiagnosticCode::UnreadableArtifact, Severity::Error, line.line_number,
                     "Failed to read line: " + std::string(line.error));
      if (options.strict) return fail(ParseError::io(path, std::string(line.error)));
      continue;
    }
    const std::string_view text = trim_line(line.text);
    if (text.empty()) continue;
    if (line.over_limit) {
      maker.diagnose(sink, DiagnosticCode::InvalidJson, Severity::Warning, line.line_number,
                     "Line size " + std::to_string(line.byte_length) + " exceeds max_line_size " +
                         std::to_string(options.max_line_size) + ", skipping.");
      continue;
    }
    RecordPlace place;
    place.line = line.line_number;
    const std::string key = "gemini_shell_history:" + std::to_string(line.line_number);
    place.key = key;
    maker.set_file_time(place);
    Event& event = maker.add(place, EventType::PromptInput, "shell_command", std::nullopt, sink);
    event.message = text;
    event.origin = PromptOrigin::Command;
  }
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  read.records.sha256 = reader->finish();
  stamp_digest(read.records);
  return read;
}

}  // namespace vt::gemini
