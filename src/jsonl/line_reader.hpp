// JsonlReader: the buffered, hashing reader of JSON-lines files. It yields one
// item per line, never holds more than limit + 1 bytes of a line, and feeds
// every byte it reads into the file's SHA-256.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "core/parse_error.hpp"

namespace vt {

struct Line {
  std::string text;             // at most limit + 1 bytes, valid UTF-8, no line feed
  std::uint64_t byte_length = 0;  // whole line without its line feed (saturating)
  bool over_limit = false;      // then `text` holds only the letter x
};

struct ReadFailure {
  std::string error;  // text used in messages
};

struct LineItem {
  std::uint64_t line_number = 0;
  std::variant<Line, ReadFailure> outcome;
};

// class JsonlReader: open(path, limit) -> Result<JsonlReader>, next() -> optional<LineItem>,
// finish() -> lowercase hex SHA-256 of every byte read.

}  // namespace vt
