// An agent's Markdown over arbitrary text: the HTML the pages get holds only
// the tags CommonMark writes for formatting, links only to http(s), no image,
// no event attribute; the Markdown the .md pages get renders to the same
// kind of HTML again; and neither rendering changes on a second run.
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "output/session_report/agent_markdown.hpp"

namespace {

constexpr std::string_view kTags[] = {"p", "em", "strong", "code", "pre", "a", "h3", "h4", "h5", "h6", "ul", "ol",
                                      "li", "blockquote", "hr", "br", "h1", "h2"};

bool allowed_tag(std::string_view name) {
  for (const std::string_view tag : kTags) {
    if (name == tag) return true;
  }
  return false;
}

// The first fault of `html` (a tag or an attribute no agent text may bring),
// or empty.
std::string fault_of(std::string_view html) {
  for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
    std::size_t end = html.find('>', at);
    if (end == std::string_view::npos) return "an unclosed tag";
    std::string_view tag = html.substr(at + 1, end - at - 1);
    if (tag.starts_with('/')) tag.remove_prefix(1);
    if (tag.ends_with(" /")) tag.remove_suffix(2);
    const std::size_t blank = tag.find(' ');
    const std::string_view name = tag.substr(0, blank);
    if (!allowed_tag(name)) return "tag " + std::string(name);
    if (blank == std::string_view::npos) continue;
    std::string_view attributes = tag.substr(blank + 1);
    // Attributes as cmark writes them: name="value" (value escaped, no '"').
    while (!attributes.empty()) {
      const std::size_t equals = attributes.find("=\"");
      if (equals == std::string_view::npos) return "attribute text " + std::string(attributes);
      const std::string_view key = attributes.substr(0, equals);
      const std::size_t close = attributes.find('"', equals + 2);
      if (close == std::string_view::npos) return "an unclosed attribute";
      const std::string_view value = attributes.substr(equals + 2, close - equals - 2);
      if (key == "href") {
        std::string scheme(value.substr(0, 8));
        for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (name != "a" || !(scheme.starts_with("http://") || scheme.starts_with("https://"))) {
          return "href " + std::string(value);
        }
      } else if (key != "class" && key != "start" && key != "title") {
        return "attribute " + std::string(key);
      }
      attributes.remove_prefix(close + 1);
      while (attributes.starts_with(' ')) attributes.remove_prefix(1);
    }
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string html = vt::report::agent_markdown_html(text, 2);
  FUZZ_CHECK(fault_of(html).empty(), fault_of(html) + " in " + html);
  FUZZ_CHECK(html == vt::report::agent_markdown_html(text, 2), "a second rendering differs");
  const std::string kept = vt::report::agent_markdown_text(text, 2);
  const std::string again = vt::report::agent_markdown_html(kept, 0);
  FUZZ_CHECK(fault_of(again).empty(), fault_of(again) + " in " + again + " from " + kept);
  return 0;
}
