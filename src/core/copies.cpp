#include "core/copies.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "core/adapter.hpp"

namespace vt {

namespace {

enum class Rule : std::uint8_t { Record, Call, Message, Usage, Place, Ordinal };

// What a rule compares, as views into the events (which outlive the pass).
struct Key {
  Rule rule = Rule::Record;
  Provider provider = Provider::Unknown;
  EventType type = EventType::Unknown;
  bool timed = false;
  std::array<std::string_view, 4> texts{};
  std::int64_t number = 0;
  std::uint32_t nanos = 0;

  friend bool operator==(const Key&, const Key&) = default;
};

struct KeyHash {
  std::size_t operator()(const Key& key) const noexcept {
    std::size_t h = (static_cast<std::size_t>(key.rule) << 16) ^ (static_cast<std::size_t>(key.provider) << 8) ^
                    static_cast<std::size_t>(key.type) ^ (key.timed ? 0x9e3779b9u : 0u);
    const auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2); };
    for (const std::string_view text : key.texts) mix(std::hash<std::string_view>{}(text));
    mix(static_cast<std::size_t>(key.number));
    mix(key.nanos);
    return h;
  }
};

std::string_view text_of(const OptionalShared& value) { return value ? std::string_view(*value) : std::string_view(); }

bool is_call(EventType type) { return type == EventType::ToolCall || type == EventType::ToolResult; }

Key key(Rule rule, const Event& e, std::string_view a, std::string_view b = {}, std::string_view c = {}) {
  Key k;
  k.rule = rule;
  k.provider = e.provider;
  k.type = e.event_type;
  k.texts = {a, b, c, {}};
  return k;
}

class CopyFinder {
 public:
  CopyFinder(std::vector<Event>& events, bool several_inputs) : events_(events), several_inputs_(several_inputs) {}

  void run() {
    for (std::size_t i = 0; i < events_.size(); ++i) {
      if (events_[i].copy_of) continue;
      keys_.clear();
      keys_of(events_[i]);
      std::optional<std::size_t> first;
      for (const Key& k : keys_) {
        const auto found = firsts_.find(k);
        if (found != firsts_.end()) {
          first = found->second;
          break;
        }
      }
      if (first) {
        events_[i].copy_of = id_of(*first);
        continue;
      }
      for (const Key& k : keys_) firsts_.try_emplace(k, i);
    }
  }

 private:
  // The keys an event is known by, in the order they are looked up.
  void keys_of(const Event& e) {
    if (by_ids(e.provider)) ids_of(e, e.facts);
    if (several_inputs_) place_of_input(e);
  }

  void ids_of(const Event& e, const Facts& f) {
    if (f.record_id && e.event_type != EventType::TokenUsage) {
      Key k = key(Rule::Record, e, *f.record_id, text_of(e.source.record_type));
      k.number = static_cast<std::int64_t>(ordinal(e));
      keys_.push_back(k);
    }
    if (f.tool_call_id && is_call(e.event_type)) keys_.push_back(key(Rule::Call, e, *f.tool_call_id));
    if (f.message_id) {
      if (e.event_type == EventType::TokenUsage) {
        keys_.push_back(key(Rule::Usage, e, *f.message_id));
      } else if (e.message && !e.message->empty()) {
        keys_.push_back(key(Rule::Message, e, *f.message_id, text_of(e.source.record_type), *e.message));
      }
    }
  }

  void place_of_input(const Event& e) {
    Key k = key(Rule::Place, e, e.event_id.view(), text_of(e.message), text_of(e.source.record_type));
    if (e.artifact && e.artifact->sha256) k.texts[3] = *e.artifact->sha256;
    if (e.timestamp) {
      k.timed = true;
      k.number = e.timestamp->unix_seconds();
      k.nanos = e.timestamp->nanos();
    }
    keys_.push_back(k);
  }

  // Whether the agent's ids are unique (asked once per agent).
  bool by_ids(Provider provider) {
    const auto i = static_cast<std::size_t>(provider);
    if (i >= unique_ids_.size()) return false;
    if (!unique_ids_[i]) unique_ids_[i] = has_unique_ids(provider);
    return *unique_ids_[i];
  }

  // The event's place among the events of its record (same input, file and
  // line) with its record type, in timeline order: a record's blocks of one
  // type keep their order there.
  std::uint64_t ordinal(const Event& e) {
    Key k = key(Rule::Ordinal, e, text_of(e.input), e.source.relative_path.str(), text_of(e.source.record_type));
    k.type = EventType::Unknown;
    k.number = static_cast<std::int64_t>(e.source.line_number.value_or(0));
    return ordinals_[k]++;
  }

  // The first occurrence's id, one shared text for all its copies.
  const OptionalShared& id_of(std::size_t first) {
    auto [slot, added] = ids_.try_emplace(first);
    if (added) slot->second = OptionalShared(std::string(events_[first].event_id.view()));
    return slot->second;
  }

  std::vector<Event>& events_;
  const bool several_inputs_;
  std::vector<Key> keys_;
  std::unordered_map<Key, std::size_t, KeyHash> firsts_;
  std::unordered_map<Key, std::uint64_t, KeyHash> ordinals_;
  std::unordered_map<std::size_t, OptionalShared> ids_;
  std::array<std::optional<bool>, 16> unique_ids_{};
};

// An event named by its input and id alone.
Key place_of(const Event& e, std::string_view id) {
  Key k;
  k.rule = Rule::Place;
  k.texts = {text_of(e.input), id, {}, {}};
  return k;
}

// A reader's copy whose first occurrence became a copy here points on to
// what that one copies (readers mark within one input).
void follow_marks(std::vector<Event>& events, const std::vector<bool>& marked_before) {
  std::unordered_map<Key, const OptionalShared*, KeyHash> moved;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (!marked_before[i] && events[i].copy_of) moved.emplace(place_of(events[i], events[i].event_id.view()), &events[i].copy_of);
  }
  if (moved.empty()) return;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (!marked_before[i]) continue;
    const auto found = moved.find(place_of(events[i], *events[i].copy_of));
    if (found != moved.end()) events[i].copy_of = *found->second;
  }
}

}  // namespace

void mark_copies(std::vector<Event>& events) {
  if (events.empty()) return;
  bool several_inputs = false;
  std::vector<bool> marked_before(events.size(), false);
  bool any_marked = false;
  for (std::size_t i = 0; i < events.size(); ++i) {
    several_inputs = several_inputs || events[i].input != events.front().input;
    marked_before[i] = static_cast<bool>(events[i].copy_of);
    any_marked = any_marked || marked_before[i];
  }
  CopyFinder(events, several_inputs).run();
  if (any_marked) follow_marks(events, marked_before);
}

}  // namespace vt
