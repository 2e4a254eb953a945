// An agent's own Markdown, as the reports show it: parsed as CommonMark
// (libcmark) and made harmless before it is rendered. Raw HTML in the text
// becomes literal text (escaped like any other), links keep their target
// only when it is http or https (any other link is its text alone), images
// are never loaded (an image becomes the text "[image: alt] url"), and the
// text's headings sit below the page's own (shifted down by `heading_shift`
// levels, at most level 6). Control characters are shown as their pictures
// first, as everywhere in the reports.
#pragma once

#include <string>
#include <string_view>

namespace vt::report {

// HTML for a page (no raw HTML, no script, no image can come out of it).
std::string agent_markdown_html(std::string_view text, int heading_shift);

// CommonMark again, for a Markdown page: the agent's formatting kept, its
// blocks closed (no fence or list left open past the text), nothing in it
// read as HTML.
std::string agent_markdown_text(std::string_view text, int heading_shift);

}  // namespace vt::report
