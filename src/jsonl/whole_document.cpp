#include "jsonl/whole_document.hpp"

#include <algorithm>
#include <memory>

#include "core/input_files.hpp"
#include "core/utf8.hpp"
#include "jsonl/byte_source.hpp"
#include "jsonl/line_json.hpp"

namespace vt {

namespace {

constexpr std::size_t kChunk = 1 << 16;
// How many chunks are read between two looks at the cancel flag.
constexpr unsigned kChunksBetweenCancelChecks = 64;

// Bytes `size` of the document hold once a last line feed is left out.
std::uint64_t without_last_feed(std::uint64_t size, bool ends_with_feed) {
  return ends_with_feed ? size - 1 : size;
}

}  // namespace

Result<WholeDocument> read_whole_document(const std::filesystem::path& path, const ParseOptions& options) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  auto source = ByteSource::open(path, StoredAs::Plain, options.progress);
  if (!source) return fail(ParseError::io(path, source.error()));
  if (options.inputs != nullptr) options.inputs->note(path);
  const std::uint64_t limit = options.max_line_size;
  // Bytes held at most: the bound and a last line feed.
  const std::uint64_t most = limit == 0 ? UINT64_MAX : limit + 1;
  std::error_code size_error;
  const std::uintmax_t expected = std::filesystem::file_size(path, size_error);
  WholeDocument document;
  std::string& text = document.text;
  // Read straight into the text, which grows past the size the file had
  // when asked only if the file grew.
  text.resize(std::min<std::uint64_t>(size_error ? kChunk : std::max<std::uint64_t>(expected + 1, kChunk), most));
  std::size_t filled = 0;
  std::uint64_t total = 0;
  bool last_is_feed = false;
  std::unique_ptr<char[]> spill;  // where bytes past the bound go, to be hashed and counted only
  for (unsigned chunks = 1;; ++chunks) {
    if (chunks % kChunksBetweenCancelChecks == 0 && cancel_requested(options)) return fail(ParseError::interrupted());
    char* into = nullptr;
    std::size_t room = 0;
    if (!document.too_large) {
      if (filled == text.size() && filled < most) text.resize(std::min<std::uint64_t>(filled * 2, most));
      into = text.data() + filled;
      room = text.size() - filled;
    }
    if (room == 0) {
      // The bound is reached: the document is too large once one more byte comes.
      if (!spill) spill.reset(new char[kChunk]);
      into = spill.get();
      room = kChunk;
    }
    auto read = source->read_some(into, room);
    if (!read) {
      document.failure = std::move(read.error().text);
      std::string().swap(text);
      document.size = without_last_feed(total, last_is_feed);
      document.sha256 = source->finish();
      return document;
    }
    if (*read == 0) break;
    total += *read;
    last_is_feed = into[*read - 1] == '\n';
    if (into == spill.get() && !document.too_large) {
      document.too_large = true;
      std::string().swap(text);
    } else if (!document.too_large) {
      filled += *read;
    }
  }
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  document.sha256 = source->finish();
  document.size = without_last_feed(total, last_is_feed);
  // A full buffer of limit + 1 bytes holds the document only when its last is the line feed.
  if (!document.too_large && limit != 0 && document.size > limit) {
    document.too_large = true;
    std::string().swap(text);
  }
  if (document.too_large) return document;
  text.resize(filled - (last_is_feed ? 1 : 0));
  if (const auto bad = find_utf8_error(text)) {
    document.failure = utf8_error_text(*bad);
    std::string().swap(text);
  }
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

Result<DocumentRead> read_document_records(const std::filesystem::path& path, const ParseOptions& options,
                                           const SourceRef& source, std::string_view what) {
  auto document = read_whole_document(path, options);
  if (!document) return fail(std::move(document.error()));
  DocumentRead read;
  read.records.sha256 = std::move(document->sha256);
  if (auto unread = unread_document(*document, what, source, options.max_line_size)) {
    read.records.diagnostics.push_back(std::move(*unread));
  } else {
    read.text = std::move(document->text);
  }
  return read;
}

Result<FileRecords> read_json_document_records(const std::filesystem::path& path, const ParseOptions& options,
                                               const SourceRef& source, std::string_view what,
                                               const std::function<void(FileRecords&, JsonView)>& read) {
  auto document = read_document_records(path, options, source, what);
  if (!document) return fail(std::move(document.error()));
  FileRecords out = std::move(document->records);
  if (!document->text) return out;
  LineJsonParser parser;
  auto value = parser.parse_view(*document->text);
  if (!value) {
    out.diagnostics.push_back(
        Diagnostic{DiagnosticCode::InvalidJson, Severity::Error, source, "Invalid JSON: " + value.error()});
    return out;
  }
  read(out, *value);
  stamp_file_digest(out);
  return out;
}

}  // namespace vt
