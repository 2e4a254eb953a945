#include "output/session_report/report_texts.hpp"

namespace vt::report {

std::string_view provider_title(Provider provider) {
  switch (provider) {
    case Provider::ClaudeCode: return "Claude Code";
    case Provider::Codex: return "Codex";
    case Provider::OpenCode: return "OpenCode";
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

std::string extra_places(const std::vector<Place>& places) {
  std::string out;
  for (std::size_t i = 1; i < places.size(); ++i) {
    out += i == 1 ? "also " : ", ";
    out += places[i].text();
  }
  return out;
}

}  // namespace vt::report
