// The HTML report: a static site of `index.html` (every session) and one
// page per session. Pages are plain HTML; the inline style and script are
// admitted by hash under a strict Content-Security-Policy, every input text
// is escaped, and folds (<details>) keep long texts closed until asked for.
#include <string>

#include "hash/base64.hpp"
#include "hash/sha256.hpp"
#include "output/session_report/html_assets.hpp"
#include "output/session_report/html_parts.hpp"
#include "output/session_report/text_escape.hpp"

namespace vt::report {

namespace {

std::string source_hash(std::string_view text) {
  const Digest digest = sha256_of(text);
  return "'sha256-" + base64_encode(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size())) +
         "'";
}

}  // namespace

void page_start(std::string& out, std::string_view title, std::string_view body_class) {
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"";
  append_html(out, report_csp());
  out += "\">\n<meta name=\"referrer\" content=\"no-referrer\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  append_html(out, title);
  out += "</title>\n<style>";
  out += kReportStyle;
  out += "</style>\n</head>\n<body class=\"";
  out += body_class;
  out += "\">\n";
}

void page_end(std::string& out, const ReportSettings& settings) {
  out += "<footer>";
  append_html(out, settings.generator);
  if (settings.redact) out += " \xC2\xB7 every text from the input is replaced by its length and SHA-256";
  out += "</footer>\n<script>";
  out += kReportScript;
  out += "</script>\n</body>\n</html>\n";
}

void open_tag(std::string& out, std::string_view tag, std::string_view css_class) {
  out += '<';
  out += tag;
  if (!css_class.empty()) attribute(out, "class", css_class);
}

void element(std::string& out, std::string_view tag, std::string_view css_class, std::string_view text) {
  open_tag(out, tag, css_class);
  out += '>';
  append_html(out, text);
  out += "</";
  out += tag;
  out += '>';
}

void session_links(std::string& out, const std::vector<SessionLink>& links, std::string_view suffix) {
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (i > 0) out += ", ";
    if (links[i].page_stem.empty()) {
      append_html(out, links[i].id);
      continue;
    }
    out += "<a";
    attribute(out, "href", links[i].page_stem + std::string(suffix));
    out += '>';
    append_html(out, links[i].id);
    out += "</a>";
  }
}

void attribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  append_html(out, value);
  out += '"';
}

std::string report_csp() {
  return "default-src 'none'; style-src " + source_hash(kReportStyle) + " " + source_hash(kNoScriptStyle) +
         "; script-src " +
         source_hash(kReportScript) + "; img-src 'none'; base-uri 'none'; form-action 'none'";
}

Status write_html_report(const Report& report, const ReportSettings& settings, const PageOut& out) {
  const SessionList list = build_sessions(report, ModelOptions{settings.redact});
  for (const Session& session : list.sessions) {
    if (Status written = out(session.page_stem + ".html", html_session_page(session, settings)); !written) {
      return written;
    }
  }
  return out("index.html", html_index_page(list.sessions, list.sessionless, settings));
}

}  // namespace vt::report
