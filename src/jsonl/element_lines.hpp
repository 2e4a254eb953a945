// Where the records of a JSON document read whole (see whole_document.hpp)
// start: a scan of the document's text that finds the line each element of
// one of its arrays begins on, so that events can name the line a record
// begins on as they do for a file of one record per line.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vt {

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
