// Opening one of the Gemini CLI files that hold a single JSON document (a
// session document, the prompt log, a saved chat): read whole within the
// line bound, hashed, parsed; whatever keeps it from being read becomes the
// file's one diagnostic, so no such file is passed over in silence.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "gemini_cli/event_maker.hpp"
#include "gemini_cli/file_readers.hpp"
#include "jsonl/line_json.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::gemini {

struct OpenedDocument {
  std::string text;
  LineJsonParser parser;
  std::optional<JsonView> root;  // absent when a diagnostic says why not
};

// `what` names the document in messages, in lower case ("session
// document"). Sets the file's SHA-256 in `out`.
Result<OpenedDocument> open_document(const std::filesystem::path& path, const ParseOptions& options,
                                     const EventMaker& maker, FileRecords& out, std::string_view what);

// The line each element of the array starts on (see `element_lines`), or
// nothing for every element when the scan does not find them all or when
// two start on one line (a document written on one line: a line that holds
// several records does not tell them apart, where they are counted).
std::vector<std::optional<std::uint64_t>> record_lines(std::string_view text, std::string_view member,
                                                       std::size_t count);

// How an array document and its records are named in messages.
struct ArrayNames {
  std::string_view document;  // "prompt log"
  std::string_view record;    // "Entry"
};

// Reads a document that is one JSON array (the prompt log, a saved chat) as
// `kind`: `start` once the array is found, then `record` for each element
// that is an object, with its index and the line it starts on (any other
// element, and a document that is not an array, gets a diagnostic). Every
// event made is stamped with the file's SHA-256.
Result<FileRead> read_array_document(
    const std::filesystem::path& path, const std::filesystem::path& base_dir, const ParseOptions& options,
    ArtifactKind kind, ArrayNames names, const std::function<void(EventMaker&, RecordSink&)>& start,
    const std::function<void(JsonView, RecordPlace, std::size_t, EventMaker&, RecordSink&)>& record);

// Stamps every event of a file with its SHA-256.
void stamp_digest(FileRecords& records);

}  // namespace vt::gemini
