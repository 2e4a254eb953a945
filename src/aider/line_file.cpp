#include "aider/line_file.hpp"

#include "core/input_files.hpp"
#include "jsonl/line_reader.hpp"

namespace vt::aider {

namespace {

constexpr std::uint64_t kLinesBetweenCancelChecks = 4096;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

Status read_lines(const std::filesystem::path& path, const SharedString& relative_path, const ParseOptions& options,
                  ArtifactKind kind, FileRecords& out, const LineHandler& line,
                  const std::function<void()>& skipped) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  auto reader = JsonlReader::open(path, options.max_line_size, StoredAs::Plain, options.progress);
  if (!reader) return fail(std::move(reader.error()));
  if (options.inputs != nullptr) options.inputs->note(path);
  reader->stop_when(options.cancel);
  LineView view;
  while (reader->next_view(view)) {
    if (view.line_number % kLinesBetweenCancelChecks == 0 && cancel_requested(options)) {
      return fail(ParseError::interrupted());
    }
    if (view.failed || view.over_limit) {
      out.diagnostics.push_back(Diagnostic{
          view.failed ? DiagnosticCode::UnreadableArtifact : DiagnosticCode::InvalidJson,
          view.failed ? Severity::Error : Severity::Warning,
          SourceRef{kind, std::nullopt, relative_path, view.line_number, std::nullopt},
          view.failed ? "Failed to read line: " + std::string(view.error)
                      : "Line size " + std::to_string(view.byte_length) + " exceeds max_line_size " +
                            std::to_string(options.max_line_size) + ", skipping."});
      if (skipped) skipped();
      continue;
    }
    std::string_view text = view.text;
    if (text.ends_with('\r')) text.remove_suffix(1);
    // An editor's byte order mark before the first line is not its text.
    if (view.line_number == 1 && text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    line(view.line_number, text);
  }
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  out.sha256 = reader->finish();
  return {};
}

}  // namespace vt::aider
