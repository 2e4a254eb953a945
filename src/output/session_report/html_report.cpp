// The HTML report: a static site of `index.html` (every session, with a
// filter box and sortable columns) and one page per session. Pages are
// plain HTML; the inline style and script are admitted by hash under a
// strict Content-Security-Policy, every input text is escaped, and folds
// (<details>) keep tool results and reasoning closed until asked for.
#include <algorithm>
#include <string>

#include "hash/base64.hpp"
#include "hash/sha256.hpp"
#include "output/session_report/html_assets.hpp"
#include "output/session_report/report_texts.hpp"
#include "output/session_report/text_escape.hpp"

namespace vt::report {

namespace {

std::string source_hash(std::string_view text) {
  const Digest digest = sha256_of(text);
  return "'sha256-" + base64_encode(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size())) +
         "'";
}

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

// "<tag class=\"…\"" (left open for more attributes).
void open_tag(std::string& out, std::string_view tag, std::string_view css_class) {
  out += '<';
  out += tag;
  if (!css_class.empty()) {
    out += " class=\"";
    out += css_class;
    out += '"';
  }
}

void element(std::string& out, std::string_view tag, std::string_view css_class, std::string_view text) {
  open_tag(out, tag, css_class);
  out += '>';
  append_html(out, text);
  out += "</";
  out += tag;
  out += '>';
}

void meta_line(std::string& out, const Item& item) {
  out += "<div class=\"m\">";
  element(out, "span", "k", std::string(kind_label(item.kind)) + (item.sidechain ? " (sub-agent)" : ""));
  if (!item.label.empty()) element(out, "span", "l", item.label);
  if (item.time) {
    out += "<time datetime=\"";
    append_html(out, item.time->text("Z"));
    out += "\">";
    append_html(out, time_of_day(item.time));
    out += "</time>";
  }
  element(out, "span", "src", item.places.front().text());
  if (item.places.size() > 1) element(out, "span", "src", extra_places(item.places));
  out += "</div>";
}

void cut_line(std::string& out, const ShownText& text) {
  if (text.cut) element(out, "p", "cut", cut_note(text));
}

void text_body(std::string& out, const ShownText& text) {
  element(out, "div", "tx", text.text.empty() ? std::string_view("(empty)") : std::string_view(text.text));
  cut_line(out, text);
}

void fold(std::string& out, std::string_view summary, const ShownText& text, bool code) {
  out += "<details><summary>";
  append_html(out, summary);
  out += "</summary>";
  if (code) {
    element(out, "pre", "", text.text);
    cut_line(out, text);
  } else {
    text_body(out, text);
  }
  out += "</details>";
}

void item_html(std::string& out, const Item& item) {
  out += "<div class=\"it k-";
  out += kind_label(item.kind);
  if (item.sidechain) out += " sub";
  out += "\">";
  meta_line(out, item);
  switch (item.kind) {
    case ItemKind::ToolCall:
      element(out, "div", "call", item.body.text);
      for (const ItemResult& result : item.results) fold(out, result_summary(result), result.body, true);
      break;
    case ItemKind::ToolResult:
      fold(out, "show " + size_text(item.body), item.body, true);
      break;
    case ItemKind::Reasoning:
    case ItemKind::Compaction:
      fold(out, "show " + size_text(item.body), item.body, false);
      break;
    case ItemKind::Context:
    case ItemKind::Housekeeping:
      if (!item.body.text.empty()) {
        element(out, "pre", "", item.body.text);
        cut_line(out, item.body);
      }
      break;
    default:
      text_body(out, item.body);
  }
  out += "</div>\n";
}

void hidden_group(std::string& out, const std::vector<Item>& items, std::size_t begin, std::size_t end) {
  const bool context = std::any_of(items.begin() + static_cast<std::ptrdiff_t>(begin),
                                   items.begin() + static_cast<std::ptrdiff_t>(end),
                                   [](const Item& item) { return item.kind == ItemKind::Context; });
  const std::string summary = "\xE2\x8B\xAF " + hidden_summary(items, begin, end);
  out += "<label class=\"ph\" for=\"";
  out += context ? "show-context" : "show-records";
  out += "\">";
  append_html(out, summary);
  out += "</label>\n";
  for (std::size_t i = begin; i < end; ++i) item_html(out, items[i]);
}

void fact(std::string& out, std::string_view name, std::string_view value) {
  out += "<dt>";
  out += name;
  out += "</dt><dd>";
  append_html(out, value.empty() ? std::string_view("\xE2\x80\x94") : value);
  out += "</dd>";
}

std::string session_page(const Session& session, const ReportSettings& settings) {
  std::string out;
  const std::string title = std::string(provider_title(session.provider)) + " session " + session.id;
  page_start(out, title, "session");
  out += "<nav><a href=\"index.html\">\xE2\x86\x90 All sessions</a></nav>\n<header><h1>";
  append_html(out, title);
  out += "</h1><dl class=\"facts\">";
  fact(out, "Working directory", joined(session.working_directories));
  fact(out, "Started", date_time(session.first));
  fact(out, "Ended", date_time(session.last));
  fact(out, "Model", joined(session.models));
  fact(out, "Git branch", joined(session.git_branches));
  fact(out, "Prompts", grouped(session.prompts));
  fact(out, "Tool calls", grouped(session.tool_calls));
  fact(out, "Tokens", tokens_text(session.tokens));
  fact(out, "Events", grouped(session.events));
  out += "</dl></header>\n<div class=\"bar\"><input type=\"search\" id=\"q\" placeholder=\"Search this session\" "
         "aria-label=\"Search this session\"><span class=\"hits\" id=\"hits\" aria-live=\"polite\"></span>"
         "<label><input type=\"checkbox\" id=\"show-context\"> Injected context and commands (" +
         grouped(session.hidden_context) +
         ")</label><label><input type=\"checkbox\" id=\"show-records\"> Housekeeping records (" +
         grouped(session.hidden_housekeeping) + ")</label></div>\n<main>\n";
  for (const Turn& turn : session.turns) {
    out += "<section class=\"turn\" id=\"turn-" + std::to_string(turn.number) + "\"><h2>";
    out += turn_title(turn);
    std::string detail;
    if (turn.first) detail += " \xC2\xB7 " + date_time(turn.first);
    if (turn.tokens.any()) detail += " \xC2\xB7 tokens: " + tokens_text(turn.tokens);
    if (!detail.empty()) element(out, "span", "tok", detail);
    out += "</h2>\n";
    for_each_run(
        turn.items, [&](const Item& item) { item_html(out, item); },
        [&](std::size_t begin, std::size_t end) { hidden_group(out, turn.items, begin, end); });
    out += "</section>\n";
  }
  out += "</main>\n";
  page_end(out, settings);
  return out;
}

void cell(std::string& out, std::string_view sort_value, std::string_view shown, std::string_view css_class = "") {
  open_tag(out, "td", css_class);
  out += " data-v=\"";
  append_html(out, sort_value);
  out += "\">";
  append_html(out, shown);
  out += "</td>";
}

std::string index_page(const std::vector<Session>& sessions, std::uint64_t sessionless,
                       const ReportSettings& settings) {
  std::string out;
  page_start(out, "Agent sessions", "index");
  out += "<header><h1>Agent sessions</h1><p class=\"note\">";
  std::string note = grouped(sessions.size()) + (sessions.size() == 1 ? " session" : " sessions");
  if (sessionless > 0) note += "; " + grouped(sessionless) + " events belong to no session and are not shown";
  append_html(out, note + ".");
  out += "</p></header>\n<div class=\"bar\"><input type=\"search\" id=\"filter\" placeholder=\"Filter sessions\" "
         "aria-label=\"Filter sessions\"><span class=\"count\" id=\"count\"></span></div>\n"
         "<main><table id=\"sessions\"><thead><tr>";
  for (const auto& [name, numeric] : {std::pair{"Agent", false}, {"Session", false}, {"Start", false}, {"End", false},
                                      {"Project", false}, {"Prompts", true}, {"Tool calls", true}, {"Tokens", true},
                                      {"Events", true}}) {
    out += numeric ? "<th class=\"n\">" : "<th>";
    out += "<button type=\"button\">";
    out += name;
    out += "</button></th>";
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const Session& session : sessions) {
    out += "<tr>";
    cell(out, provider_title(session.provider), provider_title(session.provider));
    out += "<td data-v=\"";
    append_html(out, session.id);
    out += "\"><a href=\"";
    append_html(out, session.page_stem + ".html");
    out += "\">";
    append_html(out, session.id);
    out += "</a></td>";
    cell(out, session.first ? session.first->text("Z") : "", date_time(session.first));
    cell(out, session.last ? session.last->text("Z") : "", date_time(session.last));
    const std::string project = session.working_directories.empty() ? "" : session.working_directories.front();
    cell(out, project, project, "p");
    cell(out, std::to_string(session.prompts), grouped(session.prompts), "n");
    cell(out, std::to_string(session.tool_calls), grouped(session.tool_calls), "n");
    const std::uint64_t tokens = session.tokens.any() ? session.tokens.sum() : 0;
    out += "<td class=\"n\" data-v=\"" + std::to_string(tokens) + "\" title=\"";
    append_html(out, tokens_text(session.tokens));
    out += "\">" + (session.tokens.any() ? grouped(tokens) : std::string()) + "</td>";
    cell(out, std::to_string(session.events), grouped(session.events), "n");
    out += "</tr>\n";
  }
  out += "</tbody></table></main>\n";
  page_end(out, settings);
  return out;
}

}  // namespace

std::string report_csp() {
  return "default-src 'none'; style-src " + source_hash(kReportStyle) + "; script-src " +
         source_hash(kReportScript) + "; img-src 'none'; base-uri 'none'; form-action 'none'";
}

Status write_html_report(const Report& report, const ReportSettings& settings, const PageOut& out) {
  const std::vector<Session> sessions = build_sessions(report, ModelOptions{settings.redact});
  for (const Session& session : sessions) {
    if (Status written = out(session.page_stem + ".html", session_page(session, settings)); !written) return written;
  }
  return out("index.html", index_page(sessions, sessionless_events(report), settings));
}

}  // namespace vt::report
