// The Markdown report: `index.md` listing every session (newest first, the
// sessions known only from the prompt history apart), and one page per
// session: its facts, a list of its turns, then a heading per turn, prompts
// as quotes (read literally), the agent's own Markdown kept as Markdown
// (re-rendered through libcmark, so that nothing in it is read as HTML and
// no block of it stays open), tool calls as one line with their results
// folded under them (<details>), a sub-agent's thread folded under the call
// that started it, reasoning folded, and the hidden records folded in groups.
#include <algorithm>
#include <string>

#include "output/session_report/agent_markdown.hpp"
#include "output/session_report/markdown_text.hpp"
#include "output/session_report/report_texts.hpp"
#include "output/session_report/text_escape.hpp"

namespace vt::report {

namespace {

// Agent headings start below the page's "#" (session) and "##" (turns).
constexpr int kHeadingShift = 2;

// A fold: the summary line is raw HTML, the body Markdown. The summary stays
// on one line: a blank line would end the HTML block early.
void open_fold(std::string& out, std::string_view summary) {
  std::string line(summary);
  std::ranges::replace(line, '\n', ' ');
  std::ranges::replace(line, '\r', ' ');
  out += "<details>\n<summary>";
  out += html_escape(line);
  out += "</summary>\n\n";
}

void close_fold(std::string& out) { out += "\n</details>\n\n"; }

std::string places_line(const Item& item) { return places_text(item.places); }

// "**Prompt** · 09:12:40 · *source: a.jsonl:5*"
void item_heading(std::string& out, const Item& item) {
  std::string kind(kind_label(item.kind));
  kind[0] = static_cast<char>(kind[0] - 'a' + 'A');
  out += "**";
  out += kind;
  out += "**";
  if (item.sidechain) out += " (sub-agent)";
  if (!item.label.empty()) out += " " + md_inline(item.label);
  if (item.time) out += " \xC2\xB7 " + time_of_day(item.time);
  out += " \xC2\xB7 *" + md_inline(places_line(item)) + "*\n\n";
}

void body_code(std::string& out, const ShownText& body) {
  out += md_code_block(body.text);
  if (body.cut) out += "\n*" + md_inline(cut_note(body)) + "*\n";
}

void paragraphs(std::string& out, const ShownText& body, std::string_view prefix = "") {
  const std::string text = md_paragraphs(body.text, prefix);
  out += text.empty() ? std::string(prefix) + "*(empty)*\n" : text;
  out += '\n';
}

// The agent's own Markdown, kept.
void agent_text(std::string& out, const ShownText& body) {
  const std::string text = body.text.empty() ? std::string() : agent_markdown_text(body.text, kHeadingShift);
  out += text.empty() ? std::string("*(empty)*\n") : text;
  if (body.cut) out += "\n*" + md_inline(cut_note(body)) + "*\n";
  out += '\n';
}

void items_md(std::string& out, const Items& items, const TurnLayout& layout);

void tool_call(std::string& out, const Item& item, const TurnLayout& layout) {
  std::string kind = item.kind == ItemKind::ToolCall ? "**Tool**" : "**Result**";
  if (item.sidechain) kind += " (sub-agent)";
  const std::string& text = item.body.text;
  const std::size_t end = text.find('\n');
  out += kind + " " + md_inline(text.substr(0, end)) + " \xC2\xB7 " + time_of_day(item.time) + " \xC2\xB7 *" +
         md_inline(places_line(item)) + "*\n\n";
  // Lines after the call's own (a todo list) are the reader's Markdown.
  if (end != std::string::npos) out += agent_markdown_text(std::string_view(text).substr(end + 1), kHeadingShift) + "\n";
  for (const ItemResult& result : item.results) {
    open_fold(out, result_summary(result));
    body_code(out, result.body);
    close_fold(out);
  }
  if (const auto thread = layout.threads.find(item.launches); item.launches != 0 && thread != layout.threads.end()) {
    open_fold(out, thread_summary(thread->second));
    items_md(out, thread->second, layout);
    close_fold(out);
  }
}

void visible_item(std::string& out, const Item& item, const TurnLayout& layout) {
  switch (item.kind) {
    case ItemKind::Prompt:
      item_heading(out, item);
      paragraphs(out, item.body, "> ");
      return;
    case ItemKind::ToolCall:
      tool_call(out, item, layout);
      return;
    case ItemKind::ToolResult:
    case ItemKind::Injected: {
      item_heading(out, item);
      open_fold(out, (item.kind == ItemKind::Injected ? std::string("show") : item.label) + " \xC2\xB7 " +
                         size_text(item.body));
      body_code(out, item.body);
      close_fold(out);
      return;
    }
    case ItemKind::Reasoning:
    case ItemKind::Compaction: {
      if (item.body.text.empty()) return item_heading(out, item);
      std::string summary(kind_label(item.kind));
      if (item.sidechain) summary += " (sub-agent)";
      if (!item.label.empty()) summary += " " + item.label;
      summary += " \xC2\xB7 " + time_of_day(item.time) + " \xC2\xB7 " + places_line(item);
      open_fold(out, summary);
      if (item.kind == ItemKind::Reasoning) {
        agent_text(out, item.body);
      } else {
        paragraphs(out, item.body);
      }
      close_fold(out);
      return;
    }
    case ItemKind::AgentMessage:
      item_heading(out, item);
      agent_text(out, item.body);
      return;
    default:
      item_heading(out, item);
      paragraphs(out, item.body);
      return;
  }
}

// Hidden records in a row: one fold.
void hidden_group(std::string& out, const Items& items, std::size_t begin, std::size_t end) {
  open_fold(out, hidden_summary(items, begin, end));
  for (std::size_t i = begin; i < end; ++i) {
    item_heading(out, *items[i]);
    if (!items[i]->body.text.empty()) body_code(out, items[i]->body), out += '\n';
  }
  close_fold(out);
}

void items_md(std::string& out, const Items& items, const TurnLayout& layout) {
  for_each_run(
      items, [&](const Item& item) { visible_item(out, item, layout); },
      [&](std::size_t begin, std::size_t end) { hidden_group(out, items, begin, end); });
}

std::string fact_row(std::string_view name, std::string_view value) {
  return "| " + std::string(name) + " | " + (value.empty() ? std::string("\xE2\x80\x94") : md_inline(value)) + " |\n";
}

// "| Continues | [475cf228…](claude_code-475cf228….md) |" and the like.
std::string link_rows(const Session& session) {
  std::string rows;
  for (const auto& [name, links] : {std::pair{"Continues", &session.continues},
                                    std::pair{"Continued by", &session.continued_by}}) {
    if (links->empty()) continue;
    rows += "| " + std::string(name) + " | ";
    for (std::size_t i = 0; i < links->size(); ++i) {
      const SessionLink& link = (*links)[i];
      rows += i > 0 ? ", " : "";
      rows += link.page_stem.empty() ? md_inline(link.id) : "[" + md_inline(link.id) + "](" + link.page_stem + ".md)";
    }
    rows += " |\n";
  }
  return rows;
}

void turn_list(std::string& out, const Session& session) {
  bool any = false;
  for (const Turn& turn : session.turns) {
    if (turn.number == 0) continue;
    if (!any) out += "**Turns**\n\n";
    any = true;
    out += std::to_string(turn.number) + ". [" + (turn.preview.empty() ? "*(empty)*" : md_inline(turn.preview)) +
           "](#turn-" + std::to_string(turn.number) + ")";
    if (turn.first) out += " \xC2\xB7 " + md_inline(local_date_time(turn.first));
    out += "\n";
  }
  if (any) out += "\n";
}

std::string session_page(const Session& session, const ReportSettings& settings) {
  std::string out = "# " + std::string(provider_title(session.provider)) + " session " + md_inline(session.id) + "\n\n";
  out += "[All sessions](index.md)\n\n| | |\n|---|---|\n";
  out += fact_row("Title", session.title);
  out += fact_row("Session", session.id);
  out += fact_row("Working directory", joined(session.working_directories));
  out += fact_row("Started", local_date_time(session.first));
  out += fact_row("Ended", local_date_time(session.last));
  out += fact_row("Model", joined(session.models));
  out += fact_row("Git branch", joined(session.git_branches));
  out += link_rows(session);
  const Counts& counts = session.counts;
  out += fact_row("Prompts", prompts_text(counts));
  out += fact_row("Tool calls", grouped(counts.tool_calls));
  out += fact_row("Tokens", counts.tokens.any() ? tokens_text(counts.tokens) + " \xC2\xB7 total " + total_text(counts.tokens)
                                                : std::string());
  if (const std::string cost = cost_line(counts.cost, settings.price_date); !cost.empty()) {
    out += fact_row("Estimated cost", cost);
  }
  if (counts.cost.recorded_usd) {
    out += fact_row("Recorded cost", cost_text(*counts.cost.recorded_usd) + " (the agent's own figure)");
  }
  out += fact_row("Events", grouped(session.events));
  out += "\n";
  if (settings.redact) out += "*Every text from the input is replaced by its length and SHA-256.*\n\n";
  turn_list(out, session);
  for (const Turn& turn : session.turns) {
    out += "<a id=\"turn-" + std::to_string(turn.number) + "\"></a>\n\n## " + turn_title(turn);
    if (turn.first) out += " \xC2\xB7 " + local_date_time(turn.first);
    out += "\n\n";
    if (turn.counts.tokens.any()) out += "*Tokens: " + md_inline(tokens_text(turn.counts.tokens)) + "*\n\n";
    const TurnLayout layout = turn_layout(turn);
    items_md(out, layout.top, layout);
  }
  out += "---\n\n*" + md_inline(settings.generator) + "*\n";
  return out;
}

void index_table(std::string& out, const std::vector<const Session*>& sessions) {
  out += "| Title | Agent | Session | Start | End | Project | Prompts | Tool calls | Tokens | Cost |\n";
  out += "|---|---|---|---|---|---|---:|---:|---:|---:|\n";
  for (const Session* session : sessions) {
    out += "| [" + (session->title.empty() ? md_inline(session->id) : md_inline(session->title)) + "](" +
           session->page_stem + ".md)" + (links_text(*session).empty() ? "" : " \xC2\xB7 " + md_inline(links_text(*session))) +
           " | " + std::string(provider_title(session->provider)) + " | " +
           md_inline(session->id) + " | " + local_date_time(session->first) + " | " +
           local_date_time(session->last) + " | " +
           md_inline(session->working_directories.empty() ? "" : session->working_directories.front()) + " | " +
           grouped(session->counts.typed_prompts) + " | " + grouped(session->counts.tool_calls) + " | " +
           total_text(session->counts.tokens) + " | " +
           (session->counts.cost.estimated_usd ? cost_text(*session->counts.cost.estimated_usd) : "") + " |\n";
  }
  out += "\n";
}

std::string index_page(const std::vector<Session>& sessions, std::uint64_t sessionless,
                       const ReportSettings& settings) {
  std::vector<const Session*> conversations, history_only;
  for (const Session& session : sessions) (session.history_only ? history_only : conversations).push_back(&session);
  // Newest first; sessions without a time last, in the order read.
  const auto newest = [](const Session* a, const Session* b) {
    if (a->first.has_value() != b->first.has_value()) return a->first.has_value();
    return a->first && *a->first > *b->first;
  };
  std::ranges::stable_sort(conversations, newest);
  std::ranges::stable_sort(history_only, newest);
  std::string out = "# Agent sessions\n\n" + grouped(sessions.size()) + (sessions.size() == 1 ? " session" : " sessions");
  if (sessionless > 0) out += "; " + grouped(sessionless) + " events belong to no session and are not shown";
  out += ". Times are local (" + md_inline(local_zone_name()) + ").\n\n";
  index_table(out, conversations);
  if (!history_only.empty()) {
    out += "## Known only from the prompt history (" + grouped(history_only.size()) + ")\n\n";
    index_table(out, history_only);
  }
  out += "*" + md_inline(settings.generator) + "*\n";
  return out;
}

}  // namespace

Status write_markdown_report(const Report& report, const ReportSettings& settings, const PageOut& out) {
  const SessionList list = build_sessions(report, ModelOptions{settings.redact});
  for (const Session& session : list.sessions) {
    if (Status written = out(session.page_stem + ".md", session_page(session, settings)); !written) return written;
  }
  return out("index.md", index_page(list.sessions, list.sessionless, settings));
}

}  // namespace vt::report
