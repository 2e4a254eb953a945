#include "output/session_report/report_texts.hpp"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <ctime>

namespace vt::report {

std::string_view provider_title(Provider provider) {
  switch (provider) {
    case Provider::ClaudeCode: return "Claude Code";
    case Provider::Codex: return "Codex";
    case Provider::OpenCode: return "OpenCode";
    case Provider::GeminiCli: return "Gemini CLI";
    case Provider::CopilotCli: return "Copilot CLI";
    case Provider::Aider: return "Aider";
    case Provider::Unknown: break;
  }
  return "Unknown agent";
}

std::string date_time(const std::optional<Instant>& instant) {
  if (!instant) return {};
  std::string text = instant->text("Z");
  // Seconds are enough to read by; the source line has the rest.
  const auto dot = text.find('.');
  if (dot != std::string::npos) text = text.substr(0, dot) + "Z";
  if (text.size() > 10 && text[10] == 'T') text[10] = ' ';
  return text;
}

std::string local_date_time(const std::optional<Instant>& instant) {
  if (!instant) return {};
  const std::time_t seconds = static_cast<std::time_t>(instant->unix_seconds());
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return date_time(instant);
  char text[64];
  const std::size_t size = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local);
  return std::string(text, size);
}

std::string local_zone_name() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return "UTC";
  char text[64];
  const std::size_t size = std::strftime(text, sizeof text, "%Z", &local);
  const char* named = std::getenv("TZ");
  const std::string zone = named != nullptr && *named != '\0' && *named != ':' ? std::string(named) : std::string();
  const std::string abbreviation(text, size);
  return zone.empty() || zone == abbreviation ? abbreviation : zone;
}

std::string time_of_day(const std::optional<Instant>& instant) {
  const std::string text = date_time(instant);
  return text.size() >= 19 ? text.substr(11, 8) : text;
}

std::string size_text(const ShownText& text) {
  std::string out = grouped(text.full_bytes) + (text.full_bytes == 1 ? " byte" : " bytes");
  if (text.full_lines > 1) out += ", " + grouped(text.full_lines) + " lines";
  return out;
}

std::string cut_note(const ShownText& text) {
  const ShownText shown = shown_whole(text.text);
  return "Cut after " + grouped(shown.full_characters) + " of " + grouped(text.full_characters) +
         " characters (" + grouped(shown.full_lines) + " of " + grouped(text.full_lines) +
         " lines); the whole is " + grouped(text.full_bytes) + " bytes.";
}

std::string places_text(const std::vector<Place>& places) {
  // The inputs are said when the places are in more than one.
  const bool inputs = std::ranges::any_of(places, [&](const Place& p) { return p.input != places.front().input; });
  std::string out;
  for (std::size_t i = 0; i < places.size(); ++i) {
    out += i == 0 ? "" : i == 1 ? "; also at " : ", ";
    if (inputs) out += places[i].input + ": ";
    out += places[i].text();
  }
  return out;
}

std::string cost_line(const CostTotals& cost, std::string_view price_date) {
  std::string line;
  if (cost.estimated_usd) {
    line = cost_text(*cost.estimated_usd) + ", estimated at the prices of " +
           (price_date.empty() ? std::string("an undated table") : std::string(price_date));
  }
  if (const std::string unpriced = unpriced_text(cost); !unpriced.empty()) {
    line += (line.empty() ? "" : "; ") + unpriced;
  }
  return line;
}

std::string prompts_text(const Counts& counts) {
  std::string text = grouped(counts.typed_prompts) + " typed";
  if (counts.command_prompts > 0) {
    text += " \xC2\xB7 " + grouped(counts.command_prompts) + (counts.command_prompts == 1 ? " command" : " commands");
  }
  if (counts.injected_prompts > 0) text += " \xC2\xB7 " + grouped(counts.injected_prompts) + " injected";
  return text;
}

std::string links_text(const Session& session) {
  std::string text;
  for (const auto& [word, links] : {std::pair{"continues ", &session.continues},
                                    std::pair{"continued by ", &session.continued_by}}) {
    if (links->empty()) continue;
    text += text.empty() ? word : std::string(", ") + word;
    for (std::size_t i = 0; i < links->size(); ++i) text += (i ? ", " : "") + (*links)[i].id;
  }
  return text;
}

std::string joined(const std::vector<std::string>& values) {
  std::string out;
  for (const std::string& value : values) out += (out.empty() ? "" : ", ") + value;
  return out;
}

std::string turn_title(const Turn& turn) {
  return turn.number == 0 ? std::string("Before the first prompt") : "Turn " + std::to_string(turn.number);
}

std::string result_summary(const ItemResult& result) {
  return result.label + " \xC2\xB7 " + size_text(result.body) + " \xC2\xB7 " + places_text(result.places);
}

std::string hidden_summary(const Items& items, std::size_t begin, std::size_t end) {
  std::size_t context = 0;
  for (std::size_t i = begin; i < end; ++i) context += items[i]->kind == ItemKind::Context;
  const std::size_t records = end - begin - context;
  std::string summary;
  if (context > 0) summary += grouped(context) + " injected context / command" + (context == 1 ? "" : "s");
  if (records > 0) {
    summary += context > 0 ? ", " : "";
    summary += grouped(records) + " housekeeping record" + (records == 1 ? "" : "s");
  }
  return summary;
}

std::string thread_summary(const Items& thread) {
  std::size_t shown = 0, calls = 0;
  for (const Item* item : thread) {
    shown += !hidden_kind(item->kind);
    calls += item->kind == ItemKind::ToolCall;
  }
  return "sub-agent thread \xC2\xB7 " + grouped(shown) + (shown == 1 ? " item" : " items") + " \xC2\xB7 " +
         grouped(calls) + (calls == 1 ? " tool call" : " tool calls");
}

TurnLayout turn_layout(const Turn& turn) {
  TurnLayout layout;
  std::set<std::size_t> launched;
  for (const Item& item : turn.items) {
    if (item.launches != 0) launched.insert(item.launches);
  }
  for (const Item& item : turn.items) {
    if (item.thread != 0 && launched.contains(item.thread)) {
      layout.threads[item.thread].push_back(&item);
    } else {
      layout.top.push_back(&item);
    }
  }
  return layout;
}

// The first line (ended by LF or CR) of `text` with text in it, blanks collapsed, cut to `limit`
// characters ("…" added).
std::string first_line(std::string_view text, std::size_t limit) {
  std::string line;
  std::size_t characters = 0;
  bool blank = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '\n' || c == '\r') && !line.empty()) break;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !line.empty();
      continue;
    }
    const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts && characters + (blank ? 1 : 0) >= limit) return line + "\xE2\x80\xA6";
    if (blank) line += ' ', ++characters, blank = false;
    line += c;
    characters += starts;
  }
  return line;
}

}  // namespace vt::report
