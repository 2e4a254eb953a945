// LineJsonParser: the per-file parser of JSONL lines. A line is parsed with a
// SIMD validating parser and laid out flat for reading (`parse_view`), no
// held value built; whatever that parser refuses, or any value whose held
// form it cannot vouch for (nesting beyond the bound, a negative zero
// integer, a number beyond 64 bits, a line of many megabytes), is parsed
// again by `parse_json_text`, whose value or description is the answer. The
// result always reads as the value `parse_json_text` gives.
#pragma once

#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/records.hpp"
#include "jsonl/json_view.hpp"

namespace vt {

class LineJsonParser {
 public:
  LineJsonParser();
  ~LineJsonParser();
  LineJsonParser(LineJsonParser&&) noexcept;
  LineJsonParser& operator=(LineJsonParser&&) noexcept;

  // The value of `parse_json_text(text)`, or its description. The view reads
  // the parser's own buffers: it is valid until the next call. With `padded`,
  // at least 64 readable bytes follow `text` and the line is parsed where it
  // lies; else it is copied first.
  std::expected<JsonView, std::string> parse_view(std::string_view text, bool padded = false);
  // As `parse_json_text(text)`.
  std::expected<Json, std::string> parse(std::string_view text);
  // The value of the fast path alone; nothing when it declines the line.
  std::optional<Json> parse_fast(std::string_view text);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vt
