// Reading a file that holds one document (a JSON value, a YAML mapping, a
// Markdown page) rather than one record per line: the one reader every
// agent's documents go through, so that they are bounded, hashed and
// diagnosed alike. The file's bytes are read straight into the document's
// text, which is bounded like one line (a document longer than
// `max_line_size` keeps only its size); every byte is hashed, also past the
// bound, and the text is checked to be UTF-8 as a line is.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "core/records.hpp"
#include "jsonl/json_view.hpp"
#include "jsonl/record_loop.hpp"

namespace vt {

struct WholeDocument {
  std::string text;        // the file's bytes without a last line feed; empty when too large or unreadable
  std::uint64_t size = 0;  // bytes of the document without its last line feed
  bool too_large = false;  // longer than the limit: only the size was kept
  std::optional<std::string> failure;  // the read failure or invalid UTF-8 that kept it from being read
  std::string sha256;      // lowercase hex of every byte read
};

// Opens and reads `path` (regular files only; the `Io` error of `path`
// otherwise), noting it among the run's inputs and counting its bytes in
// the run's progress; `options.max_line_size` bounds the text (0: no
// bound). A run asked to stop ends with the interrupted error.
Result<WholeDocument> read_whole_document(const std::filesystem::path& path, const ParseOptions& options);

// The diagnostic of a document that was not read whole, if it was not: a
// read failure ("Failed to read {what}: …", an error) or one past the
// limit ("{What} size {size} exceeds max_line_size {limit}, skipping.", a
// warning). `what` is written in lower case ("rollout document").
std::optional<Diagnostic> unread_document(const WholeDocument& document, std::string_view what, SourceRef source,
                                          std::uint64_t limit);

// A document read for the records of one file: `records` holds the file's
// digest and, when the document could not be read, the diagnostic that
// says why (`unread_document`, about `source`); `text` is the document when
// it could.
struct DocumentRead {
  FileRecords records;
  std::optional<std::string> text;
};
Result<DocumentRead> read_document_records(const std::filesystem::path& path, const ParseOptions& options,
                                           const SourceRef& source, std::string_view what);

// A JSON document read for the records of one file: `read` is handed the
// records so far and the document's value when it could be read and parsed
// (else a diagnostic about `source` says why: "Invalid JSON: …" an error);
// the file's digest is stamped on the events after.
Result<FileRecords> read_json_document_records(const std::filesystem::path& path, const ParseOptions& options,
                                               const SourceRef& source, std::string_view what,
                                               const std::function<void(FileRecords&, JsonView)>& read);

}  // namespace vt
