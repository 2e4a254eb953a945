// The HTML index: every session, newest first, under its title (the
// agent's own, else its first typed prompt) with the sessions a resumed
// conversation ties it to, start and end in the local time zone (UTC on
// hover), the count rule's prompts, tool calls, tokens and estimated cost,
// sortable columns, agent and project facets, a toggle for the sessions
// known only from the prompt history, and a search over titles and typed
// prompts. Each row carries its own compact search text, so the page needs
// nothing but itself.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "output/session_report/html_assets.hpp"
#include "output/session_report/html_parts.hpp"
#include "output/session_report/text_escape.hpp"

namespace vt::report {

namespace {

void cell(std::string& out, std::string_view sort_value, std::string_view shown, std::string_view css_class = "",
          std::string_view hover = "") {
  open_tag(out, "td", css_class);
  attribute(out, "data-v", sort_value);
  if (!hover.empty()) attribute(out, "title", hover);
  out += '>';
  append_html(out, shown);
  out += "</td>";
}

std::string project_of(const Session& session) {
  return session.working_directories.empty() ? std::string() : session.working_directories.front();
}

// Sessions newest first (by start; those without a time last), ties in
// the order they were read.
std::vector<const Session*> newest_first(const std::vector<Session>& sessions) {
  std::vector<const Session*> order;
  for (const Session& session : sessions) order.push_back(&session);
  std::ranges::stable_sort(order, [](const Session* a, const Session* b) {
    if (a->first.has_value() != b->first.has_value()) return a->first.has_value();
    return a->first && *a->first > *b->first;
  });
  return order;
}

void options(std::string& out, std::string_view id, std::string_view all, const std::map<std::string, std::size_t>& counts) {
  std::vector<std::pair<std::string, std::size_t>> ordered(counts.begin(), counts.end());
  std::ranges::stable_sort(ordered, [](const auto& a, const auto& b) { return a.second > b.second; });
  out += "<select id=\"";
  out += id;
  out += "\"";
  attribute(out, "aria-label", all);
  out += "><option value=\"\">";
  append_html(out, all);
  out += "</option>";
  for (const auto& [value, count] : ordered) {
    out += "<option";
    attribute(out, "value", value);
    out += '>';
    append_html(out, (value.empty() ? std::string("(none)") : value) + " (" + grouped(count) + ")");
    out += "</option>";
  }
  out += "</select>";
}

// Rows the page shows at first, and then at each "Show more".
constexpr std::size_t kPageRows = 250;

// A row; `hidden` until the script (or the reader's toggle) shows it.
void row(std::string& out, const Session& session, bool hidden, std::string_view price_date) {
  out += session.history_only ? "<tr class=\"h\"" : "<tr";
  if (hidden) out += " hidden";
  attribute(out, "data-a", provider_title(session.provider));
  attribute(out, "data-d", project_of(session));
  attribute(out, "data-s", session.title + " " + session.search_text + " " + session.id);
  out += "><td";
  attribute(out, "data-v", session.title);
  out += " class=\"t\"><a";
  attribute(out, "href", session.page_stem + ".html");
  attribute(out, "title", session.id);
  out += '>';
  append_html(out, session.title.empty() ? std::string_view(session.id) : std::string_view(session.title));
  out += "</a>";
  // A resumed conversation: the sessions it takes up and those taking it up.
  for (const auto& [word, links] : {std::pair{"continues ", &session.continues},
                                    std::pair{"continued by ", &session.continued_by}}) {
    if (links->empty()) continue;
    out += "<span class=\"rel\">";
    out += word;
    session_links(out, *links);
    out += "</span>";
  }
  out += "</td>";
  const Counts& counts = session.counts;
  cell(out, provider_title(session.provider), provider_title(session.provider));
  cell(out, session.first ? session.first->text("Z") : "", local_date_time(session.first), "", date_time(session.first));
  cell(out, session.last ? session.last->text("Z") : "", local_date_time(session.last), "", date_time(session.last));
  cell(out, project_of(session), project_of(session), "p");
  cell(out, std::to_string(counts.typed_prompts), grouped(counts.typed_prompts), "n");
  cell(out, std::to_string(counts.tool_calls), grouped(counts.tool_calls), "n");
  const auto total = counts.tokens.total();
  cell(out, total ? std::to_string(*total) : "", total_text(counts.tokens), "n", tokens_text(counts.tokens));
  const auto& cost = counts.cost.estimated_usd;
  cell(out, cost ? exact_number(*cost) : "", cost ? cost_text(*cost) : "", "n", cost_line(counts.cost, price_date));
  cell(out, std::to_string(session.events), grouped(session.events), "n");
  out += "</tr>\n";
}

}  // namespace

std::string html_index_page(const std::vector<Session>& sessions, std::uint64_t sessionless,
                            const ReportSettings& settings) {
  std::map<std::string, std::size_t> agents, projects;
  std::size_t history_only = 0;
  for (const Session& session : sessions) {
    ++agents[std::string(provider_title(session.provider))];
    ++projects[project_of(session)];
    history_only += session.history_only;
  }
  std::string out;
  page_start(out, "Agent sessions", "index");
  out += "<header><h1>Agent sessions</h1><p class=\"note\">";
  std::string note = grouped(sessions.size()) + (sessions.size() == 1 ? " session" : " sessions");
  if (history_only > 0) note += ", " + grouped(history_only) + " of them known only from the prompt history";
  if (sessionless > 0) note += "; " + grouped(sessionless) + " events belong to no session and are not shown";
  append_html(out, note + ". Times are local (" + local_zone_name() + "); UTC on hover.");
  out += "</p></header>\n<div class=\"bar\"><input type=\"search\" id=\"filter\" "
         "placeholder=\"Search titles, prompts, ids\" aria-label=\"Search titles, prompts, ids\">";
  options(out, "agent", "All agents", agents);
  options(out, "project", "All projects", projects);
  if (history_only > 0) {
    out += "<label><input type=\"checkbox\" id=\"history\"> History-only sessions (" + grouped(history_only) +
           ")</label>";
  }
  out += "<span class=\"count\" id=\"count\" aria-live=\"polite\"></span></div>\n<noscript><style>";
  out += kNoScriptStyle;
  out += "</style></noscript>\n<main><table id=\"sessions\" data-page=\"" + std::to_string(kPageRows) +
         "\"><thead><tr>";
  for (const auto& [name, numeric] : {std::pair{"Title", false}, {"Agent", false}, {"Start", false}, {"End", false},
                                      {"Project", false}, {"Prompts", true}, {"Tool calls", true}, {"Tokens", true},
                                      {"Cost", true}, {"Events", true}}) {
    out += numeric ? "<th class=\"n\">" : std::string_view(name) == "Start" ? "<th aria-sort=\"descending\">" : "<th>";
    out += "<button type=\"button\">";
    out += name;
    out += "</button></th>";
  }
  out += "</tr></thead>\n<tbody>\n";
  std::size_t shown = 0;
  for (const Session* session : newest_first(sessions)) {
    const bool visible = !session->history_only && shown < kPageRows;
    shown += visible;
    row(out, *session, !visible, settings.price_date);
  }
  out += "</tbody></table><button type=\"button\" id=\"more\" hidden>Show more</button></main>\n";
  page_end(out, settings);
  return out;
}

}  // namespace vt::report
