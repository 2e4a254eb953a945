// The pieces every HTML report page is built of: the head with its
// Content-Security-Policy, the footer with the one inline script, and
// elements whose text is escaped on the way in.
#pragma once

#include <string>
#include <string_view>

#include "output/session_report/report_texts.hpp"

namespace vt::report {

void page_start(std::string& out, std::string_view title, std::string_view body_class);
void page_end(std::string& out, const ReportSettings& settings);

// "<tag class=\"…\"" (left open for more attributes).
void open_tag(std::string& out, std::string_view tag, std::string_view css_class);
// <tag class="…">escaped text</tag>
void element(std::string& out, std::string_view tag, std::string_view css_class, std::string_view text);
// ` name="escaped value"`
void attribute(std::string& out, std::string_view name, std::string_view value);
// The sessions as links to their pages ("a, b"); a session without a page as its id.
void session_links(std::string& out, const std::vector<SessionLink>& links, std::string_view suffix = ".html");

// The session page and the index.
std::string html_session_page(const Session& session, const ReportSettings& settings);
std::string html_index_page(const std::vector<Session>& sessions, std::uint64_t sessionless,
                            const ReportSettings& settings);

}  // namespace vt::report
