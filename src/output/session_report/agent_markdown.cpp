#include "output/session_report/agent_markdown.hpp"

#include <cmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "output/session_report/text_escape.hpp"

namespace vt::report {

namespace {

struct NodeFree {
  void operator()(cmark_node* node) const { cmark_node_free(node); }
};
using Document = std::unique_ptr<cmark_node, NodeFree>;

struct TextFree {
  void operator()(char* text) const { std::free(text); }
};

std::string_view text_of(const char* text) { return text == nullptr ? std::string_view() : std::string_view(text); }

bool web_link(std::string_view url) {
  const auto starts = [&](std::string_view scheme) {
    return url.size() > scheme.size() &&
           std::equal(scheme.begin(), scheme.end(), url.begin(), [](char a, char b) {
             return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
           });
  };
  return starts("http://") || starts("https://");
}

cmark_node* text_node(cmark_node_type type, std::string_view literal) {
  cmark_node* node = cmark_node_new(type);
  cmark_node_set_literal(node, std::string(literal).c_str());
  return node;
}

// The plain text under `node` (an image's alternative text).
std::string plain_text(cmark_node* node) {
  std::string out;
  cmark_iter* iter = cmark_iter_new(node);
  for (cmark_event_type event; (event = cmark_iter_next(iter)) != CMARK_EVENT_DONE;) {
    cmark_node* at = cmark_iter_get_node(iter);
    if (event != CMARK_EVENT_ENTER) continue;
    const cmark_node_type type = cmark_node_get_type(at);
    if (type == CMARK_NODE_TEXT || type == CMARK_NODE_CODE || type == CMARK_NODE_HTML_INLINE) {
      out += text_of(cmark_node_get_literal(at));
    }
    if (type == CMARK_NODE_SOFTBREAK || type == CMARK_NODE_LINEBREAK) out += ' ';
  }
  cmark_iter_free(iter);
  return out;
}

// Moves the children of `node` before it and removes it.
void unwrap(cmark_node* node) {
  while (cmark_node* child = cmark_node_first_child(node)) cmark_node_insert_before(node, child);
  cmark_node_free(node);
}

// Raw HTML as text, foreign links as their text, images as words, headings
// shifted down.
void neutralise(cmark_node* document, int heading_shift) {
  // Nodes inside an image are not kept: the image becomes text whole (its
  // words include theirs), so each node is looked at once.
  std::vector<cmark_node*> nodes;
  std::size_t in_image = 0;
  cmark_iter* iter = cmark_iter_new(document);
  for (cmark_event_type event; (event = cmark_iter_next(iter)) != CMARK_EVENT_DONE;) {
    cmark_node* node = cmark_iter_get_node(iter);
    const bool image = cmark_node_get_type(node) == CMARK_NODE_IMAGE;
    if (event == CMARK_EVENT_EXIT) {
      in_image -= image ? 1 : 0;
      continue;
    }
    if (in_image == 0) nodes.push_back(node);
    in_image += image ? 1 : 0;
  }
  cmark_iter_free(iter);
  // Children before their parents: an unwrapped link's children are done.
  for (auto at = nodes.rbegin(); at != nodes.rend(); ++at) {
    cmark_node* node = *at;
    switch (cmark_node_get_type(node)) {
      case CMARK_NODE_HTML_INLINE:
        cmark_node_replace(node, text_node(CMARK_NODE_TEXT, text_of(cmark_node_get_literal(node))));
        cmark_node_free(node);
        break;
      case CMARK_NODE_HTML_BLOCK: {
        cmark_node* paragraph = cmark_node_new(CMARK_NODE_PARAGRAPH);
        std::string_view literal = text_of(cmark_node_get_literal(node));
        while (literal.ends_with('\n')) literal.remove_suffix(1);
        bool first = true;
        while (true) {
          const std::size_t end = std::min(literal.find('\n'), literal.size());
          if (!first) cmark_node_append_child(paragraph, cmark_node_new(CMARK_NODE_LINEBREAK));
          cmark_node_append_child(paragraph, text_node(CMARK_NODE_TEXT, literal.substr(0, end)));
          first = false;
          if (end >= literal.size()) break;
          literal.remove_prefix(end + 1);
        }
        cmark_node_replace(node, paragraph);
        cmark_node_free(node);
        break;
      }
      case CMARK_NODE_LINK:
        if (!web_link(text_of(cmark_node_get_url(node)))) unwrap(node);
        break;
      case CMARK_NODE_IMAGE: {
        std::string words = "[image: " + plain_text(node) + "]";
        if (const std::string_view url = text_of(cmark_node_get_url(node)); !url.empty()) {
          words += " ";
          words += url;
        }
        cmark_node_replace(node, text_node(CMARK_NODE_TEXT, words));
        cmark_node_free(node);
        break;
      }
      case CMARK_NODE_HEADING:
        cmark_node_set_heading_level(node, std::min(6, cmark_node_get_heading_level(node) + heading_shift));
        break;
      default:
        break;
    }
  }
}

Document parsed(std::string_view text, int heading_shift) {
  const std::string clean = printable(text);
  Document document(cmark_parse_document(clean.data(), clean.size(), CMARK_OPT_VALIDATE_UTF8));
  neutralise(document.get(), heading_shift);
  return document;
}

std::string rendered(char* text) {
  const std::unique_ptr<char, TextFree> owned(text);
  return std::string(text_of(owned.get()));
}

}  // namespace

std::string agent_markdown_html(std::string_view text, int heading_shift) {
  const Document document = parsed(text, heading_shift);
  // The default options are the safe ones: no raw HTML, no unsafe link.
  return rendered(cmark_render_html(document.get(), CMARK_OPT_DEFAULT));
}

std::string agent_markdown_text(std::string_view text, int heading_shift) {
  const Document document = parsed(text, heading_shift);
  return rendered(cmark_render_commonmark(document.get(), CMARK_OPT_DEFAULT, 0));
}

}  // namespace vt::report
