#include "gemini_cli/document_file.hpp"

#include <algorithm>

#include "jsonl/element_lines.hpp"
#include "jsonl/relative_path.hpp"
#include "jsonl/whole_document.hpp"

namespace vt::gemini {

Result<OpenedDocument> open_document(const std::filesystem::path& path, const ParseOptions& options,
                                     const EventMaker& maker, FileRecords& out, std::string_view what) {
  auto document = read_document_records(path, options, maker.file_source(), what);
  if (!document) return fail(std::move(document.error()));
  OpenedDocument opened;
  out = std::move(document->records);
  if (!document->text) return opened;
  RecordSink sink{out.events, out.diagnostics};
  opened.text = std::move(*document->text);
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
  // A document written on one line: the line would not tell its records apart.
  if (std::ranges::adjacent_find(found) != found.end()) return lines;
  for (std::size_t i = 0; i < count; ++i) lines[i] = found[i];
  return lines;
}

Result<FileRead> read_array_document(
    const std::filesystem::path& path, const std::filesystem::path& base_dir, const ParseOptions& options,
    ArtifactKind kind, ArrayNames names, const std::function<void(EventMaker&, RecordSink&)>& start,
    const std::function<void(JsonView, RecordPlace, std::size_t, EventMaker&, RecordSink&)>& record) {
  EventMaker maker(kind, SharedString(relative_path_for(path, base_dir)), options);
  FileRead read;
  FileRecords& out = read.records;
  auto document = open_document(path, options, maker, out, names.document);
  if (!document) return fail(std::move(document.error()));
  if (!document->root) return read;
  RecordSink sink{out.events, out.diagnostics};
  const JsonView root = *document->root;
  if (!root.is_array()) {
    maker.diagnose(sink, DiagnosticCode::UnknownRecord, Severity::Warning, std::nullopt,
                   "Not a Gemini CLI " + std::string(names.document) + ": not a JSON array.");
    return read;
  }
  start(maker, sink);
  std::size_t count = 0;
  for ([[maybe_unused]] const JsonView element : root.children()) ++count;
  const auto lines = record_lines(document->text, {}, count);
  std::size_t index = 0;
  for (const JsonView element : root.children()) {
    RecordPlace place;
    place.line = lines[index];
    if (element.is_object()) {
      record(element, std::move(place), index, maker, sink);
    } else {
      maker.diagnose(sink, DiagnosticCode::UnknownRecord, Severity::Warning, place.line,
                     std::string(names.record) + " " + std::to_string(index) + " of the " +
                         std::string(names.document) + " is not an object.");
    }
    ++index;
  }
  stamp_digest(out);
  return read;
}

void stamp_digest(FileRecords& records) {
  const SharedString digest(records.sha256);
  for (Event& event : records.events) event.source_file_sha256 = digest;
}

}  // namespace vt::gemini
