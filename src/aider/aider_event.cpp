#include "aider/aider_event.hpp"

#include <cstdio>

namespace vt::aider {

Event& add_block_event(std::vector<Event>& events, EventIds& ids, RepeatedTexts& types, const BlockPlace& place,
                       EventType type) {
  Event& event = events.emplace_back();
  event.provider = Provider::Aider;
  event.event_type = type;
  event.sequence = events.size() - 1;
  std::string key = "aider_";
  key += place.file_key;
  key += ':';
  key += std::to_string(place.line);
  event.event_id = ids.make(Provider::Aider, place.kind, place.relative_path, key);
  event.source = SourceRef{place.kind, OptionalShared(types.get(place.record_type)), place.relative_path, place.line,
                           std::nullopt};
  return event;
}

std::string compared_text(std::string_view text) {
  std::string out;
  std::size_t pending_blank = 0;
  while (!text.empty()) {
    const std::size_t feed = text.find('\n');
    std::string_view line = text.substr(0, feed);
    text = feed == std::string_view::npos ? std::string_view() : text.substr(feed + 1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
    if (line.empty()) {
      ++pending_blank;
      continue;
    }
    if (!out.empty()) out.append(pending_blank + 1, '\n');
    pending_blank = 0;
    out.append(line);
  }
  return out;
}

std::string launch_session_id(const std::optional<LocalTime>& start, std::uint64_t line) {
  if (!start) return "aider:line-" + std::to_string(line);
  const CivilTime& c = start->civil;
  char text[48];
  std::snprintf(text, sizeof text, "aider:%04lld-%02u-%02uT%02u:%02u:%02u", static_cast<long long>(c.year), c.month,
                c.day, c.hour, c.minute, c.second);
  return text;
}

}  // namespace vt::aider
