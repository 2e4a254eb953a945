#include "jsonl/whole_document.hpp"

#include "core/input_files.hpp"
#include "jsonl/line_reader.hpp"

namespace vt {

WholeDocument read_whole(JsonlReader& reader, std::uint64_t limit) {
  WholeDocument document;
  LineView line;
  while (reader.next_view(line)) {
    if (line.failed) {
      if (!document.failure) document.failure = std::string(line.error);
      continue;
    }
    document.size += line.byte_length + (document.size == 0 ? 0 : 1);
    if (line.over_limit || (limit != 0 && document.size > limit)) {
      document.too_large = true;
      std::string().swap(document.text);
    }
    if (document.too_large || document.failure) continue;
    if (line.line_number > 1) document.text.push_back('\n');
    document.text.append(line.text);
  }
  return document;
}

Result<WholeDocument> read_whole_document(const std::filesystem::path& path, const ParseOptions& options) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  auto reader = JsonlReader::open(path, options.max_line_size, StoredAs::Plain, options.progress);
  if (!reader) return fail(std::move(reader.error()));
  if (options.inputs != nullptr) options.inputs->note(path);
  reader->stop_when(options.cancel);
  WholeDocument document = read_whole(*reader, options.max_line_size);
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  document.sha256 = reader->finish();
  return document;
}

std::optional<Diagnostic> unread_document(const WholeDocument& document, std::string_view what, SourceRef source,
                                          std::uint64_t limit) {
  if (document.failure) {
    return Diagnostic{DiagnosticCode::UnreadableArtifact, Severity::Error, std::move(source),
                      "Failed to read " + std::string(what) + ": " + *document.failure};
  }
  if (!document.too_large) return std::nullopt;
  std::string shown(what);
  if (!shown.empty() && shown[0] >= 'a' && shown[0] <= 'z') shown[0] = static_cast<char>(shown[0] - 'a' + 'A');
  return Diagnostic{DiagnosticCode::InvalidJson, Severity::Warning, std::move(source),
                    shown + " size " + std::to_string(document.size) + " exceeds max_line_size " +
                        std::to_string(limit) + ", skipping."};
}

}  // namespace vt
