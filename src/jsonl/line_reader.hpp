// JsonlReader: the buffered, hashing reader of JSON-lines files, plain or
// zstd-compressed. It yields one item per line, never holds more than
// limit + 1 bytes of a line, and hashes the file's stored bytes as it reads
// them, so a file is read exactly once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/parse_error.hpp"
#include "core/read_progress.hpp"
#include "jsonl/byte_source.hpp"

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

// One line as the reader holds it: the views stay valid until the next call.
struct LineView {
  std::uint64_t line_number = 0;
  bool failed = false;          // a read failure or invalid UTF-8: see `error`
  std::string_view text;        // as `Line::text`
  // At least JsonlReader::kPadding readable bytes follow `text` (of any
  // value), so a parser that reads ahead may take it in place.
  bool padded = false;
  std::uint64_t byte_length = 0;
  bool over_limit = false;
  bool unterminated = false;    // the input ended before a line feed (the last line)
  std::string_view error;
};

class JsonlReader {
 public:
  static constexpr std::size_t kBufferSize = 65536;
  // Bytes kept readable after every line handed out (see LineView::padded).
  static constexpr std::size_t kPadding = 64;
  // Reads that fail this many times in a row end the input (a failing device
  // would otherwise fail forever); the last failure says so.
  static constexpr unsigned kMaxFailuresInRow = 8;

  // Opens `path` (regular files only); failure is the `Io` error of `path`.
  // `limit` is the line size limit, 0 for none. A compressed file's lines are
  // those of its decompressed content; a damaged stream yields one read
  // failure naming the file and ends the input. `progress`, when set, counts
  // the file and every stored byte read.
  static Result<JsonlReader> open(const std::filesystem::path& path, std::uint64_t limit,
                                  StoredAs stored = StoredAs::Plain,
                                  ReadProgress* progress = nullptr);
  // A reader of the lines of a source already open.
  static JsonlReader over(ByteSource source, std::uint64_t limit) {
    return JsonlReader(std::move(source), limit);
  }

  JsonlReader(JsonlReader&&) noexcept = default;
  JsonlReader& operator=(JsonlReader&&) noexcept = default;

  // The next line without copying it where it lies whole in the buffer;
  // false at end of input.
  bool next_view(LineView& view);
  // The next line as an owned item, or nothing at end of input.
  std::optional<LineItem> next();
  // Lowercase hex SHA-256 of every byte read; call once, after the last read.
  std::string finish();
  // Input ends early once `*cancel` is true (looked at every few megabytes,
  // so that even one endless line gives way).
  void stop_when(const std::atomic<bool>* cancel) { cancel_ = cancel; }

 private:
  JsonlReader(ByteSource source, std::uint64_t limit);
  bool fill(LineView& view);

  ByteSource source_;
  std::unique_ptr<char[]> buffer_;
  std::size_t position_ = 0;
  std::size_t filled_ = 0;
  std::uint64_t limit_ = 0;
  std::uint64_t next_index_ = 0;
  std::string line_;   // the kept bytes of a line that spans buffer refills, and room for the padding
  std::string error_;  // text of the last failure
  bool done_ = false;
  unsigned failures_in_row_ = 0;
  const std::atomic<bool>* cancel_ = nullptr;
  std::uint64_t refills_ = 0;
};

}  // namespace vt
