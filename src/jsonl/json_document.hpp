// Files that hold one JSON document (a whole chat session, a prompt log, a
// saved chat) rather than one record per line: the document is read whole,
// bounded like one line (`max_line_size`), hashed as it is read, and parsed
// by the line parser, so it reads exactly as the same value on one line
// would (same nesting bound, same messages). Where each record of the
// document starts is found by a scan of its text, so events can name the
// line a record begins on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/options.hpp"
#include "core/parse_error.hpp"

namespace vt {

struct JsonDocument {
  std::string text;             // the whole document; empty when too large or unreadable
  std::uint64_t size = 0;       // bytes read (past the bound, reading stops at limit + 1)
  bool too_large = false;       // more than `max_line_size` bytes
  std::optional<std::string> failure;  // a read error (then nothing else is kept)
  std::string sha256;           // of every byte, when the whole file was read
};

// Reads the file at `path` (regular files only; an unopenable one is the
// `Io` error of `path`), notes it among the run's inputs and counts its
// bytes in the run's progress. Cancellation is the interrupted error.
Result<JsonDocument> read_json_document(const std::filesystem::path& path, const ParseOptions& options);

// The line (from 1) on which each element of one array of a valid JSON text
// starts: of the top-level array when `member` is empty, else of the array
// the top-level object holds as `member` (the last such member, as
// everywhere). Empty when there is no such array, when it is empty, or when
// the member's name is written with escapes.
std::vector<std::uint64_t> element_lines(std::string_view text, std::string_view member = {});

// The line on which the text's first value starts (1 for a text that starts
// with it).
std::uint64_t first_value_line(std::string_view text);

}  // namespace vt
