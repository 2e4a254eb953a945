// An agent's Markdown in the reports: its formatting rendered, and nothing
// in it that could run, load or lead anywhere but the web.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/session_report/agent_markdown.hpp"

namespace {

struct Case {
  std::string name;
  bool html;  // the HTML of the pages, or the Markdown of the .md pages
  std::string input;
  std::vector<std::string> has;
  std::vector<std::string> lacks;
};

class AgentMarkdown : public ::testing::TestWithParam<Case> {};

TEST_P(AgentMarkdown, RendersSafely) {
  const Case& c = GetParam();
  const std::string out = c.html ? vt::report::agent_markdown_html(c.input, 2) : vt::report::agent_markdown_text(c.input, 2);
  for (const std::string& part : c.has) EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
  for (const std::string& part : c.lacks) EXPECT_EQ(out.find(part), std::string::npos) << part << "\n" << out;
  if (c.html) return;
  // Whatever came in, the Markdown kept re-renders with no raw HTML and no image.
  const std::string again = vt::report::agent_markdown_html(out, 0);
  for (const char* part : {"<img", "<script", "<details"}) EXPECT_EQ(again.find(part), std::string::npos) << again;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AgentMarkdown,
    ::testing::Values(
        Case{"formatting", true, "**bold** and `code`\n\n- one\n- two\n\n```py\nx = 1\n```\n",
             {"<strong>bold</strong>", "<code>code</code>", "<li>one</li>", "<code class=\"language-py\">x = 1"},
             {"**"}},
        Case{"headings_below_the_page", true, "# Plan\n\n### Step\n\n###### Deep\n",
             {"<h3>Plan</h3>", "<h5>Step</h5>", "<h6>Deep</h6>"}, {"<h1>", "<h2>"}},
        Case{"inline_html_as_text", true, "see <b onmouseover=alert(1)>this</b> now",
             {"&lt;b onmouseover=alert(1)&gt;this&lt;/b&gt;"}, {"<b ", "raw HTML omitted"}},
        Case{"html_block_as_text", true, "<script>alert(1)</script>\n<details><summary>x</summary>\n\nafter",
             {"&lt;script&gt;alert(1)&lt;/script&gt;", "&lt;details&gt;", "<p>after</p>"},
             {"<script", "<details", "raw HTML omitted"}},
        Case{"javascript_link", true, "[click](javascript:alert(2)) and [x](JaVaScRiPt:alert(3))",
             {"<p>click and x</p>"}, {"<a ", "javascript:"}},
        Case{"data_and_relative_links", true, "[d](data:text/html,hi) [r](../victim.txt) [f](file:///etc/passwd)",
             {"d r f"}, {"<a ", "victim", "passwd"}},
        Case{"web_links_kept", true, "[docs](https://example.org/a?b=1&c=2) <http://example.com>",
             {"<a href=\"https://example.org/a?b=1&amp;c=2\">docs</a>", "<a href=\"http://example.com\">"}, {}},
        Case{"images_never_loaded", true, "![chart](https://example.org/c.png) ![x](javascript:alert(4))",
             {"[image: chart] https://example.org/c.png", "[image: x] javascript:alert(4)"}, {"<img", "src="}},
        Case{"image_inside_a_link", true, "[![logo](https://e.org/l.png)](https://e.org)",
             {"<a href=\"https://e.org\">[image: logo] https://e.org/l.png</a>"}, {"<img"}},
        Case{"reference_links", true, "[a][r] [b][j]\n\n[r]: https://e.org\n[j]: javascript:alert(5)\n",
             {"<a href=\"https://e.org\">a</a>", " b"}, {"javascript"}},
        Case{"autolink_mail_is_not_web", true, "<mailto:a@b.c> <a@b.c>", {"mailto:a@b.c", "a@b.c"}, {"<a "}},
        Case{"control_characters_shown", true, std::string("bell\x07 esc\x1b[31m"), {"bell\xE2\x90\x87", "\xE2\x90\x9B[31m"},
             {"\x07", "\x1b"}},
        Case{"invalid_utf8_replaced", true, std::string("caf\xC3 ok"), {"caf\xEF\xBF\xBD ok"}, {}},
        Case{"formatting_kept", false, "**bold** and *it*\n\n1. one\n2. two\n", {"**bold**", "*it*", "1.  one", "2.  two"}, {"\\*"}},
        Case{"headings_shifted", false, "# Plan\n", {"### Plan"}, {"\n# Plan"}},
        // An unclosed fence is closed where the text ends.
        Case{"open_fence_closed", false, "```\nrest of the page", {"rest of the page\n```"}, {}},
        Case{"html_escaped", false, "</details><img src=x onerror=alert(1)>\n\ntext <b>x</b>",
             {"\\</details\\>\\<img", "text \\<b\\>x\\</b\\>"}, {"<b>", " <img"}},
        Case{"links_filtered", false, "[a](https://e.org) [b](javascript:alert(1)) ![c](https://e.org/c.png)",
             {"[a](https://e.org)", " b ", "\\[image: c\\] https://e.org/c.png"}, {"javascript", "!["}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
