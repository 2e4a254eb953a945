// Wording both report formats share: provider names, times, the note under
// a cut text, and the writers' common entry points.
#pragma once

#include <functional>
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
// "09:12:40", or "".
std::string time_of_day(const std::optional<Instant>& instant);
// "Cut after 2,000 of 12,345 characters (40 of 310 lines); the whole is 13,000 bytes."
std::string cut_note(const ShownText& text);
// "1,234 bytes, 12 lines".
std::string size_text(const ShownText& text);
// The places of an item after its own: "also a.jsonl:3, b.jsonl:9".
std::string extra_places(const std::vector<Place>& places);

// Receives each page of a report: its file name and content.
using PageOut = std::function<Status(const std::string& name, std::string_view content)>;

struct ReportSettings {
  bool redact = false;
  std::string generator;  // "vellumtrace 1.2.3"
};

Status write_markdown_report(const Report& report, const ReportSettings& settings, const PageOut& out);
Status write_html_report(const Report& report, const ReportSettings& settings, const PageOut& out);

}  // namespace vt::report
