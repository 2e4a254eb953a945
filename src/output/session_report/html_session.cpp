// One session's HTML page: its facts, a table of its turns, then each turn
// as a conversation: prompts as typed, the agent's Markdown rendered (made
// harmless first), tool calls as one line with their results folded under
// them, a sub-agent's thread folded under the call that started it, files
// the editor or the harness attached folded under their names, and the
// injected context and housekeeping records behind two toggles. Where an
// item comes from is its short file name and line, the whole place on hover.
#include <string>
#include <vector>

#include "output/session_report/agent_markdown.hpp"
#include "output/session_report/html_parts.hpp"
#include "output/session_report/text_escape.hpp"

namespace vt::report {

namespace {

// Agent headings start below the page's h1 (title) and h2 (turns).
constexpr int kHeadingShift = 2;
// Characters of a folded text shown on its fold's line.
constexpr std::size_t kFoldLineLimit = 100;

// "a.jsonl:12" for "projects/x/a.jsonl:12"; a long file name keeps its
// first characters ("7ef88c1a…:12").
std::string short_place(const Place& place) {
  constexpr std::size_t kShortName = 20, kKept = 8;
  const std::size_t slash = place.path.find_last_of('/');
  std::string name = slash == std::string::npos ? place.path : place.path.substr(slash + 1);
  if (name.size() > kShortName) {
    std::size_t cut = kKept;
    while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) ++cut;
    name = name.substr(0, cut) + "\xE2\x80\xA6";
  }
  return Place{name, place.line}.text();
}

void meta_line(std::string& out, const Item& item) {
  out += "<div class=\"m\">";
  element(out, "span", "k", std::string(kind_label(item.kind)) + (item.sidechain ? " (sub-agent)" : ""));
  if (!item.label.empty()) element(out, "span", "l", item.label);
  if (item.time) {
    out += "<time";
    attribute(out, "datetime", item.time->text("Z"));
    out += '>';
    append_html(out, time_of_day(item.time));
    out += "</time>";
  }
  out += "<span class=\"src\"";
  attribute(out, "title", places_text(item.places));
  out += '>';
  append_html(out, short_place(item.places.front()) + (item.places.size() > 1 ? " +" + std::to_string(item.places.size() - 1) : ""));
  out += "</span></div>";
}

void cut_line(std::string& out, const ShownText& text) {
  if (text.cut) element(out, "p", "cut", cut_note(text));
}

void text_body(std::string& out, const ShownText& text) {
  element(out, "div", "tx", text.text.empty() ? std::string_view("(empty)") : std::string_view(text.text));
  cut_line(out, text);
}

void markdown_body(std::string& out, const ShownText& text) {
  if (text.text.empty()) return element(out, "div", "tx", "(empty)");
  out += "<div class=\"md\">";
  out += agent_markdown_html(text.text, kHeadingShift);
  out += "</div>";
  cut_line(out, text);
}

// A folded text's first line, less the Markdown marks around it ("**Plan**").
std::string fold_line(std::string_view text) {
  std::string line = first_line(text, kFoldLineLimit);
  const std::size_t start = line.find_first_not_of("*_# "), end = line.find_last_not_of("*_ ");
  if (start == std::string::npos || end < start) return line;
  return line.substr(start, end - start + 1);
}

void fold(std::string& out, std::string_view summary, const ShownText& text, bool code,
          std::string_view hover = "") {
  out += "<details><summary";
  if (!hover.empty()) attribute(out, "title", hover);
  out += '>';
  append_html(out, summary);
  out += "</summary>";
  if (code) {
    element(out, "pre", "", text.text);
    cut_line(out, text);
  } else {
    markdown_body(out, text);
  }
  out += "</details>";
}

void items_html(std::string& out, const Items& items, const std::map<std::size_t, Items>& threads);

// A call's line; lines after the first (a todo list) are the reader's Markdown.
void call_html(std::string& out, const Item& item) {
  const std::string& text = item.body.text;
  const std::size_t end = text.find('\n');
  element(out, "div", "call", text.substr(0, end));
  if (end != std::string::npos) {
    out += "<div class=\"md\">";
    out += agent_markdown_html(std::string_view(text).substr(end + 1), kHeadingShift);
    out += "</div>";
  }
}

void thread_html(std::string& out, const Items& thread, const std::map<std::size_t, Items>& threads) {
  out += "<details class=\"thread\"><summary>";
  append_html(out, thread_summary(thread));
  out += "</summary>";
  items_html(out, thread, threads);
  out += "</details>";
}

void item_html(std::string& out, const Item& item, const std::map<std::size_t, Items>& threads) {
  out += "<div class=\"it k-";
  out += kind_label(item.kind);
  if (item.sidechain) out += " sub";
  out += "\">";
  meta_line(out, item);
  switch (item.kind) {
    case ItemKind::ToolCall:
      call_html(out, item);
      for (const ItemResult& result : item.results) {
        fold(out, result.label + " \xC2\xB7 " + size_text(result.body), result.body, true, places_text(result.places));
      }
      if (const auto thread = threads.find(item.launches); item.launches != 0 && thread != threads.end()) {
        thread_html(out, thread->second, threads);
      }
      break;
    case ItemKind::ToolResult:
      fold(out, "show " + size_text(item.body), item.body, true);
      break;
    case ItemKind::Reasoning:
    case ItemKind::Compaction:
      // The fold says how the text begins (reasoning often starts with its heading).
      if (!item.body.text.empty()) {
        fold(out, fold_line(item.body.text) + " \xC2\xB7 " + size_text(item.body), item.body,
             item.kind == ItemKind::Compaction);
      }
      break;
    case ItemKind::Injected:
      fold(out, "show " + size_text(item.body), item.body, true);
      break;
    case ItemKind::Context:
    case ItemKind::Housekeeping:
      if (!item.body.text.empty()) {
        element(out, "pre", "", item.body.text);
        cut_line(out, item.body);
      }
      break;
    case ItemKind::AgentMessage:
      markdown_body(out, item.body);
      break;
    default:
      text_body(out, item.body);
  }
  out += "</div>\n";
}

// Items in order; each run of hidden ones is announced by one line when it
// holds injected context (housekeeping records alone show only with their
// toggle).
void items_html(std::string& out, const Items& items, const std::map<std::size_t, Items>& threads) {
  for (std::size_t i = 0; i < items.size();) {
    if (!hidden_kind(items[i]->kind)) {
      item_html(out, *items[i++], threads);
      continue;
    }
    std::size_t end = i, context = 0;
    for (; end < items.size() && hidden_kind(items[end]->kind); ++end) context += items[end]->kind == ItemKind::Context;
    if (context > 0) {
      out += "<label class=\"ph\" for=\"show-context\">\xE2\x8B\xAF ";
      append_html(out, grouped(context) + " injected context / command" + (context == 1 ? "" : "s"));
      out += "</label>\n";
    }
    for (; i < end; ++i) item_html(out, *items[i], threads);
  }
}

void turn_html(std::string& out, const Turn& turn) {
  out += "<section class=\"turn\" id=\"turn-" + std::to_string(turn.number) + "\"><h2>";
  out += turn_title(turn);
  std::string detail;
  if (turn.first) detail += " \xC2\xB7 " + date_time(turn.first);
  if (turn.counts.tokens.any()) detail += " \xC2\xB7 tokens: " + tokens_text(turn.counts.tokens);
  if (turn.counts.cost.estimated_usd) detail += " \xC2\xB7 " + cost_text(*turn.counts.cost.estimated_usd);
  if (!detail.empty()) element(out, "span", "tok", detail);
  out += "</h2>\n";
  // A sub-agent's items go under the call that started it.
  const TurnLayout layout = turn_layout(turn);
  items_html(out, layout.top, layout.threads);
  out += "</section>\n";
}

void fact(std::string& out, std::string_view name, std::string_view value, std::string_view hover = "") {
  out += "<dt>";
  out += name;
  out += "</dt><dd";
  if (!hover.empty()) attribute(out, "title", hover);
  out += '>';
  append_html(out, value.empty() ? std::string_view("\xE2\x80\x94") : value);
  out += "</dd>";
}

void link_fact(std::string& out, std::string_view name, const std::vector<SessionLink>& links) {
  if (links.empty()) return;
  out += "<dt>";
  out += name;
  out += "</dt><dd>";
  session_links(out, links);
  out += "</dd>";
}

void turn_table(std::string& out, const Session& session) {
  if (session.turns.empty() || (session.turns.size() == 1 && session.turns.front().number == 0)) return;
  out += "<details class=\"toc\" open><summary>";
  const std::uint64_t turns = session.counts.typed_prompts;
  append_html(out, grouped(turns) + (turns == 1 ? " turn" : " turns"));
  out += "</summary><table><thead><tr><th class=\"n\">#</th><th>Time</th><th>Prompt</th><th class=\"n\">Tool calls</th>"
         "<th class=\"n\">Tokens</th></tr></thead><tbody>\n";
  for (const Turn& turn : session.turns) {
    if (turn.number == 0) continue;
    const std::string anchor = "#turn-" + std::to_string(turn.number);
    out += "<tr><td class=\"n\">" + std::to_string(turn.number) + "</td>";
    element(out, "td", "", local_date_time(turn.first));
    out += "<td class=\"p\"><a href=\"" + anchor + "\">";
    append_html(out, turn.preview.empty() ? std::string_view("(empty)") : std::string_view(turn.preview));
    out += "</a></td><td class=\"n\">" + grouped(turn.counts.tool_calls) + "</td><td class=\"n\"";
    attribute(out, "title", tokens_text(turn.counts.tokens));
    out += ">" + total_text(turn.counts.tokens) + "</td></tr>\n";
  }
  out += "</tbody></table></details>\n";
}

}  // namespace

std::string html_session_page(const Session& session, const ReportSettings& settings) {
  std::string out;
  const std::string kind = std::string(provider_title(session.provider)) + " session " + session.id;
  page_start(out, session.title.empty() ? kind : session.title, "session");
  out += "<nav><a href=\"index.html\">\xE2\x86\x90 All sessions</a></nav>\n<header><h1>";
  append_html(out, session.title.empty() ? kind : session.title);
  out += "</h1>";
  element(out, "p", "sub", kind);
  out += "<dl class=\"facts\">";
  fact(out, "Working directory", joined(session.working_directories));
  fact(out, "Started", local_date_time(session.first));
  fact(out, "Ended", local_date_time(session.last));
  fact(out, "Model", joined(session.models));
  fact(out, "Git branch", joined(session.git_branches));
  link_fact(out, "Continues", session.continues);
  link_fact(out, "Continued by", session.continued_by);
  const Counts& counts = session.counts;
  fact(out, "Prompts", prompts_text(counts));
  fact(out, "Tool calls", grouped(counts.tool_calls));
  const std::string total = total_text(counts.tokens);
  fact(out, "Tokens", counts.tokens.any() ? tokens_text(counts.tokens) + " \xC2\xB7 total " + total : std::string());
  if (const std::string cost = cost_line(counts.cost, settings.price_date); !cost.empty()) {
    fact(out, "Estimated cost", cost, counts.cost.estimated_usd ? exact_number(*counts.cost.estimated_usd) : "");
  }
  if (counts.cost.recorded_usd) fact(out, "Recorded cost", cost_text(*counts.cost.recorded_usd) + " (the agent's own figure)");
  fact(out, "Events", grouped(session.events));
  out += "</dl></header>\n<div class=\"bar\"><input type=\"search\" id=\"q\" placeholder=\"Search this session\" "
         "aria-label=\"Search this session\"><span class=\"hits\" id=\"hits\" aria-live=\"polite\"></span>"
         "<label><input type=\"checkbox\" id=\"show-context\"> Injected context and commands (" +
         grouped(session.hidden_context) +
         ")</label><label><input type=\"checkbox\" id=\"show-records\"> Housekeeping records (" +
         grouped(session.hidden_housekeeping) + ")</label></div>\n<main>\n";
  turn_table(out, session);
  for (const Turn& turn : session.turns) turn_html(out, turn);
  out += "</main>\n";
  page_end(out, settings);
  return out;
}

}  // namespace vt::report
