// Opening one of the Gemini CLI files that hold a single JSON document (a
// session document, the prompt log, a saved chat): read whole within the
// line bound, hashed, parsed; whatever keeps it from being read becomes the
// file's one diagnostic, so no such file is passed over in silence.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "gemini_cli/event_maker.hpp"
#include "jsonl/line_json.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::gemini {

struct OpenedDocument {
  std::string text;
  LineJsonParser parser;
  std::optional<JsonView> root;  // absent when a diagnostic says why not
};

// `what` names the document in messages ("Session document"). Sets the
// file's SHA-256 in `out` when it was read whole.
Result<OpenedDocument> open_document(const std::filesystem::path& path, const ParseOptions& options,
                                     const EventMaker& maker, FileRecords& out, std::string_view what);

// The line each element of the array starts on (see `element_lines`), or
// nothing for every element when the scan does not find them all.
std::vector<std::optional<std::uint64_t>> record_lines(std::string_view text, std::string_view member,
                                                       std::size_t count);

}  // namespace vt::gemini
