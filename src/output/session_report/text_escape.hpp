// Input text made safe for where a report puts it: control characters shown
// as their pictures (U+2400…), and escaping for HTML text and attribute
// values. Every text from the input passes through here before any page
// holds it.
#pragma once

#include <string>
#include <string_view>

namespace vt::report {

// Line feeds and tabs kept, CR LF read as LF, every other C0 control and DEL
// replaced by its Unicode control picture (NUL → U+2400), C1 and
// bidirectional controls by their escapes ("\u202e").
std::string printable(std::string_view text);

// `&`, `<`, `>`, `"` and `'` as character references, after printable():
// safe in HTML text and in quoted attribute values alike.
std::string html_escape(std::string_view text);
void append_html(std::string& out, std::string_view text);

}  // namespace vt::report
