// Input text placed in CommonMark so that it reads back literally: every
// character that could start markup is escaped, line starts that could open
// a block are neutralised, line breaks are kept as hard breaks, and code
// blocks get a fence longer than any backtick run inside them. Agent text is
// therefore shown as written (its own Markdown is not interpreted), and
// nothing in it can close a fold or inject a link or HTML.
#pragma once

#include <string>
#include <string_view>

namespace vt::report {

// One line of text (line breaks shown as blanks) for a heading, a table cell
// or an emphasis.
std::string md_inline(std::string_view text);

// Paragraphs of text, each line prefixed with `prefix` ("> " for a quote).
std::string md_paragraphs(std::string_view text, std::string_view prefix = "");

// A fenced code block holding `text` verbatim.
std::string md_code_block(std::string_view text);

}  // namespace vt::report
