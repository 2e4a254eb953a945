#include "gemini_cli/document_file.hpp"

#include "jsonl/json_document.hpp"

namespace vt::gemini {

Result<OpenedDocument> open_document(const std::filesystem::path& path, const ParseOptions& options,
                                     const EventMaker& maker, FileRecords& out, std::string_view what) {
  auto document = read_json_document(path, options);
  if (!document) return fail(std::move(document.error()));
  OpenedDocument opened;
  RecordSink sink{out.events, out.diagnostics};
  if (document->failure) {
    maker.diagnose(sink, DiagnosticCode::UnreadableArtifact, Severity::Error, std::nullopt,
                   "Failed to read " + std::string(what) + ": " + *document->failure);
    return opened;
  }
  if (document->too_large) {
    maker.diagnose(sink, DiagnosticCode::InvalidJson, Severity::Warning, std::nullopt,
                   std::string(what) + " exceeds max_line_size " + std::to_string(options.max_line_size) +
                       " bytes, skipping.");
    return opened;
  }
  out.sha256 = std::move(document->sha256);
  opened.text = std::move(document->text);
  auto value = opened.parser.parse_view(opened.text);
  if (!value) {
    maker.diagnose(sink, DiagnosticCode::InvalidJson, Severity::Error, std::nullopt, "Invalid JSON: " + value.error());
    return opened;
  }
  opened.root = *value;
  return opened;
}

std::vector<std::optional<std::uint64_t>> record_lines(std::string_view text, std::string_view member,
                                                       std::size_t count) {
  const std::vector<std::uint64_t> found = element_lines(text, member);
  std::vector<std::optional<std::uint64_t>> lines(count);
  if (found.size() != count) return lines;
  for (std::size_t i = 0; i < count; ++i) lines[i] = found[i];
  return lines;
}

}  // namespace vt::gemini
