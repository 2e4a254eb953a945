// Reading a file that holds one document (a JSON value, a YAML mapping, a
// Markdown page) rather than one record per line: the file is read whole
// through the line reader, so it is hashed while read and bounded like one
// line (a document longer than `max_line_size` keeps only its size).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "core/records.hpp"

namespace vt {

class JsonlReader;

struct WholeDocument {
  std::string text;        // every line joined by line feeds; empty when too large
  std::uint64_t size = 0;  // bytes of the document without its last line feed
  bool too_large = false;  // longer than the limit: only the size was kept
  std::optional<std::string> failure;  // the first read failure (a read error, invalid UTF-8)
  std::string sha256;      // lowercase hex of every byte of the file
};

// The rest of `reader`'s lines as one document (`limit` 0: no limit).
WholeDocument read_whole(JsonlReader& reader, std::uint64_t limit);

// Opens and reads `path` (regular files only; the `Io` error of `path`
// otherwise), noting it among the run's inputs. A run asked to stop ends
// with the interrupted error.
Result<WholeDocument> read_whole_document(const std::filesystem::path& path, const ParseOptions& options);

// The diagnostic of a document that was not read whole, if it was not: a
// read failure ("Failed to read {what}: …", an error) or one past the
// limit ("{What} size {size} exceeds max_line_size {limit}, skipping.", a
// warning). `what` is written in lower case ("rollout document").
std::optional<Diagnostic> unread_document(const WholeDocument& document, std::string_view what, SourceRef source,
                                          std::uint64_t limit);

}  // namespace vt
