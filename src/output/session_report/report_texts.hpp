// Wording both report formats share: provider names, times, the note under
// a cut text, and the writers' common entry points.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/parse_error.hpp"
#include "core/records.hpp"
#include "output/session_report/session_model.hpp"

namespace vt::report {

// "Claude Code", "Codex".
std::string_view provider_title(Provider provider);
// "2025-11-05 09:12:40Z", or "" without an instant.
std::string date_time(const std::optional<Instant>& instant);
// "2025-11-05 10:12:40 CET": in the program's time zone (TZ, or the one
// --timezone set), or "" without an instant.
std::string local_date_time(const std::optional<Instant>& instant);
// The zone's name as the pages say it ("CET", "UTC", "+03").
std::string local_zone_name();
// "09:12:40", or "".
std::string time_of_day(const std::optional<Instant>& instant);
// "Cut after 2,000 of 12,345 characters (40 of 310 lines); the whole is 13,000 bytes."
std::string cut_note(const ShownText& text);
// "1,234 bytes, 12 lines".
std::string size_text(const ShownText& text);
// An item's places: "a.jsonl:1; also at a.jsonl:3, b.jsonl:9", each
// after its input ("mon: a.jsonl:1; also at tue: a.jsonl:1") when they are
// in more than one.
std::string places_text(const std::vector<Place>& places);

// The first line (ended by LF or CR) of `text` with text in it, blanks
// collapsed, cut to `limit` characters ("…" added).
std::string first_line(std::string_view text, std::size_t limit);
// "a, b, c".
std::string joined(const std::vector<std::string>& values);
// "Turn 3", or "Before the first prompt" for turn 0.
std::string turn_title(const Turn& turn);
// "result · exit 0 · 251 bytes, 3 lines · a.jsonl:11; also at a.jsonl:12".
std::string result_summary(const ItemResult& result);
using Items = std::vector<const Item*>;

// "2 injected context / commands, 5 housekeeping records" for items[begin, end).
std::string hidden_summary(const Items& items, std::size_t begin, std::size_t end);

// A turn as the pages lay it out: the items shown in order, and each
// sub-agent thread whose starting call is in the turn, to go under that call.
struct TurnLayout {
  Items top;
  std::map<std::size_t, Items> threads;  // by thread number
};
TurnLayout turn_layout(const Turn& turn);

// "sub-agent thread · 12 items · 5 tool calls" (hidden records not counted).
std::string thread_summary(const Items& thread);

// Calls visible(item) for each shown item and hidden(begin, end) once for
// each run of hidden items, in order.
template <class Visible, class Hidden>
void for_each_run(const Items& items, Visible visible, Hidden hidden) {
  for (std::size_t i = 0; i < items.size();) {
    if (!hidden_kind(items[i]->kind)) {
      visible(*items[i++]);
      continue;
    }
    std::size_t end = i;
    while (end < items.size() && hidden_kind(items[end]->kind)) ++end;
    hidden(i, end);
    i = end;
  }
}

// Receives each page of a report: its file name and content.
using PageOut = std::function<Status(const std::string& name, std::string_view content)>;

struct ReportSettings {
  bool redact = false;
  std::string generator;   // "vellumtrace 1.2.3"
  std::string price_date;  // the date of the price table the costs were estimated with
};

// "$1.23, estimated at the prices of 2026-01-15; 1,200 tokens unpriced (m)"
// for counted usage; "" when it has no estimate and nothing unpriced.
std::string cost_line(const CostTotals& cost, std::string_view price_date);

// "12 typed · 3 commands · 40 injected" (the kinds beside typed only when
// there are some).
std::string prompts_text(const Counts& counts);

// The sessions a resumed conversation ties to this one, as "continues
// 475cf228…, continued by 25131281…" ("" when none).
std::string links_text(const Session& session);

Status write_markdown_report(const Report& report, const ReportSettings& settings, const PageOut& out);
Status write_html_report(const Report& report, const ReportSettings& settings, const PageOut& out);

}  // namespace vt::report
