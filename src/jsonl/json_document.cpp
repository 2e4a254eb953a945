#include "jsonl/json_document.hpp"

#include <algorithm>
#include <cstring>

#include "core/input_files.hpp"
#include "jsonl/byte_source.hpp"

namespace vt {

namespace {

constexpr std::size_t kChunk = 1 << 16;
// How many chunks are read between two looks at the cancel flag.
constexpr unsigned kChunksBetweenCancelChecks = 64;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool ends_token(char c) { return is_blank(c) || c == ',' || c == ']' || c == '}' || c == ':'; }

// The index of the quote that closes the string opened at `open`, or the
// text's size when it is never closed.
std::size_t string_end(std::string_view text, std::size_t open) {
  std::size_t at = open + 1;
  while (true) {
    const void* found = std::memchr(text.data() + at, '"', text.size() - at);
    if (found == nullptr) return text.size();
    const std::size_t quote = static_cast<const char*>(found) - text.data();
    std::size_t backslashes = 0;
    while (quote - backslashes > open + 1 && text[quote - backslashes - 1] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return quote;
    at = quote + 1;
  }
}

}  // namespace

Result<JsonDocument> read_json_document(const std::filesystem::path& path, const ParseOptions& options) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  auto source = ByteSource::open(path, StoredAs::Plain, options.progress);
  if (!source) return fail(ParseError::io(path, source.error()));
  if (options.inputs != nullptr) options.inputs->note(path);
  const std::uint64_t limit = options.max_line_size;
  JsonDocument document;
  // Read straight into the text, which grows past the size the file had
  // when asked only if the file grew.
  std::error_code size_error;
  const std::uintmax_t expected = std::filesystem::file_size(path, size_error);
  // Never more than one byte past the bound.
  const std::uint64_t most = limit == 0 ? UINT64_MAX : limit + 1;
  std::uint64_t capacity = size_error ? kChunk : std::max<std::uint64_t>(expected + 1, kChunk);
  document.text.resize(std::min(capacity, most));
  std::size_t filled = 0;
  for (unsigned chunks = 1;; ++chunks) {
    if (chunks % kChunksBetweenCancelChecks == 0 && cancel_requested(options)) {
      return fail(ParseError::interrupted());
    }
    if (filled == document.text.size()) document.text.resize(std::min<std::uint64_t>(filled * 2, most));
    auto read = source->read_some(document.text.data() + filled, document.text.size() - filled);
    if (!read) {
      document.failure = std::move(read.error().text);
      std::string().swap(document.text);
      return document;
    }
    if (*read == 0) break;
    filled += *read;
    document.size = filled;
    if (limit != 0 && document.size > limit) {
      // Past the bound nothing more is read: the document gives no record.
      document.too_large = true;
      std::string().swap(document.text);
      return document;
    }
  }
  document.text.resize(filled);
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  document.sha256 = source->finish();
  return document;
}

std::vector<std::uint64_t> element_lines(std::string_view text, std::string_view member) {
  std::vector<std::uint64_t> lines;
  std::uint64_t line = 1;
  std::size_t depth = 0;
  std::size_t target = 0;       // the depth of the elements of the array looked at; 0 outside it
  bool root_object = false;     // the top-level value is an object
  bool want_element = false;    // the next value starts an element of the array looked at
  bool member_matches = false;  // the value at depth 1 belongs to `member`
  std::string_view last_key;    // the last string closed at depth 1 of the top-level object
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte-order mark
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      continue;
    }
    if (is_blank(c)) continue;
    switch (c) {
      case ',':
        if (depth == target) want_element = true;
        if (depth == 1 && root_object) member_matches = false;
        continue;
      case ':':
        if (depth == 1 && root_object) member_matches = last_key == member;
        continue;
      case ']':
      case '}':
        if (depth == target) {
          target = 0;
          want_element = false;
        }
        if (depth > 0) --depth;
        continue;
      default:
        break;
    }
    // The start of a value.
    if (want_element) {
      lines.push_back(line);
      want_element = false;
    }
    if (c == '[' || c == '{') {
      ++depth;
      if (depth == 1 && c == '{') root_object = true;
      const bool wanted = member.empty() ? depth == 1 : depth == 2 && root_object && member_matches;
      if (c == '[' && wanted) {
        lines.clear();
        target = depth;
        want_element = true;
      }
      continue;
    }
    if (c == '"') {
      const std::size_t end = string_end(text, i);
      if (depth == 1 && root_object) last_key = text.substr(i + 1, end - i - 1);
      i = end;
      continue;
    }
    while (i + 1 < text.size() && !ends_token(text[i + 1])) ++i;
  }
  return lines;
}

std::uint64_t first_value_line(std::string_view text) {
  std::uint64_t line = 1;
  for (const char c : text) {
    if (c == '\n') {
      ++line;
    } else if (!is_blank(c)) {
      break;
    }
  }
  return line;
}

}  // namespace vt
