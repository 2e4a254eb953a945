#include "copilot_cli/copilot_event.hpp"

#include <array>

#include "core/tool_call_text.hpp"
#include "jsonl/fields.hpp"

namespace vt::copilot {

namespace {

// The argument members that say what a call acts on, most telling first: an
// editor call's `command` is its verb ("view", "str_replace"), its `path`
// what it acts on.
constexpr std::array<std::string_view, 10> kMainArguments = {
    "pattern", "path", "command", "url", "query", "question", "intent", "summary", "description", "prompt"};

}  // namespace

Event& add_event(std::vector<Event>& events, EventIds& ids, const RecordPlace& place, EventType type,
                 std::optional<std::uint64_t> ordinal, RepeatedTexts* types) {
  Event& event = events.emplace_back();
  event.provider = Provider::CopilotCli;
  event.event_type = type;
  event.sequence = events.size() - 1;
  event.timestamp = place.time;
  event.timestamp_source = place.time ? place.time_source : TimestampSource::None;
  event.event_id = ids.make(Provider::CopilotCli, place.kind, place.relative_path, place.key, ordinal);
  event.source = SourceRef{place.kind,
                           types != nullptr ? OptionalShared(types->get(place.record_type))
                                            : OptionalShared(place.record_type),
                           place.relative_path, place.line, place.record_id};
  event.facts.record_id = place.record_id;
  return event;
}

CallText call_text(std::string_view name, const JsonView* arguments) {
  CallText text;
  text.argument = main_argument(arguments, kMainArguments);
  text.message = call_message(name, text.argument);
  return text;
}

OptionalShared text_of(JsonView object, std::string_view key) {
  const auto text = get_string(object, key);
  if (!text) return std::nullopt;
  return OptionalShared(*text);
}

std::optional<std::uint64_t> count_of(JsonView object, std::string_view key) {
  const FieldRef field = get_field(object, key);
  if (!field || field->kind() != JsonKind::Unsigned) return std::nullopt;
  return field->unsigned_value();
}

std::string_view typed_part(std::string_view text) {
  static constexpr std::pair<std::string_view, std::string_view> kAppended[] = {
      {"<current_datetime>", "</current_datetime>"}, {"<reminder>", "</reminder>"}};
  const auto trimmed = [](std::string_view t) {
    const std::size_t start = t.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return std::string_view();
    return t.substr(start, t.find_last_not_of(" \t\r\n") + 1 - start);
  };
  text = trimmed(text);
  for (bool cut = true; cut;) {
    cut = false;
    for (const auto& [open, close] : kAppended) {
      const std::size_t at = text.rfind(open);
      if (text.ends_with(close) && at != std::string_view::npos) {
        text = trimmed(text.substr(0, at));
        cut = true;
      }
    }
  }
  return text;
}

}  // namespace vt::copilot
