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

std::string_view base_type(std::string_view record_type) {
  constexpr std::string_view kSidechain = "sidechain/";
  return record_type.starts_with(kSidechain) ? record_type.substr(kSidechain.size()) : record_type;
}

bool in_sub_agent(const Event& e) {
  return e.facts.sidechain || text_of(e.source.record_type).starts_with("sidechain/");
}

class CopyFinder {
 public:
  CopyFinder(std::vector<Event>& events, bool several_inputs)
      : events_(events), several_inputs_(several_inputs), targets_(events.size()) {}

  void run() {
    count_records();
    for (std::size_t i = 0; i < events_.size(); ++i) {
      if (events_[i].copy_of) continue;
      if (const std::optional<Key> record = record_key(i)) {
        const std::size_t counted = records_.at(*record);
        if (counted != i) {
          targets_[i] = counted;
          continue;
        }
      }
      keys_.clear();
      keys_of(events_[i]);
      for (const Key& k : keys_) {
        const auto found = firsts_.find(k);
        if (found != firsts_.end()) {
          targets_[i] = found->second;
          break;
        }
      }
      if (targets_[i]) continue;
      for (const Key& k : keys_) firsts_.try_emplace(k, i);
    }
    mark();
  }

 private:
  // A record read at several places counts at its earliest outside any
  // sub-agent, else its earliest (a sub-agent's file repeats its parent's
  // records).
  void count_records() {
    record_ordinals_.assign(events_.size(), kNoRecord);
    for (std::size_t i = 0; i < events_.size(); ++i) {
      const Event& e = events_[i];
      if (e.copy_of || !e.facts.record_id || e.event_type == EventType::TokenUsage || !by_ids(e.provider)) continue;
      record_ordinals_[i] = ordinal(e);
      const auto [slot, added] = records_.try_emplace(*record_key(i), i);
      if (!added && in_sub_agent(events_[slot->second]) && !in_sub_agent(e)) slot->second = i;
    }
    ordinals_.clear();
  }

  // An event of a record: the record's id, its record type (a sub-agent's
  // repeat included) and the event's place among the record's events.
  std::optional<Key> record_key(std::size_t i) const {
    if (record_ordinals_[i] == kNoRecord) return std::nullopt;
    const Event& e = events_[i];
    Key k = key(Rule::Record, e, *e.facts.record_id, base_type(text_of(e.source.record_type)));
    k.number = record_ordinals_[i];
    return k;
  }

  // The keys an event is known by besides its record, in lookup order.
  void keys_of(const Event& e) {
    if (by_ids(e.provider)) ids_of(e, e.facts);
    if (several_inputs_) place_of_input(e);
  }

  void ids_of(const Event& e, const Facts& f) {
    // A replayed call repeats its API message too, where the agent names one
    // (a sub-agent's own call may reuse an id its parent used). A call is
    // known by its id alone: calls of one message may read alike.
    if (f.tool_call_id && is_call(e.event_type)) {
      keys_.push_back(key(Rule::Call, e, *f.tool_call_id, text_of(f.message_id)));
    } else if (f.message_id) {
      if (e.event_type == EventType::TokenUsage) {
        keys_.push_back(key(Rule::Usage, e, *f.message_id));
      } else if (e.message && !e.message->empty()) {
        keys_.push_back(key(Rule::Message, e, *f.message_id, base_type(text_of(e.source.record_type)), *e.message));
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
  std::uint32_t ordinal(const Event& e) {
    Key k = key(Rule::Ordinal, e, text_of(e.input), e.source.relative_path.str(), text_of(e.source.record_type));
    k.type = EventType::Unknown;
    k.number = static_cast<std::int64_t>(e.source.line_number.value_or(0));
    return ordinals_[k]++;
  }

  // Every copy names the event counted in its stead (a copy's copy the one
  // that copy stands for).
  void mark() {
    for (std::size_t i = 0; i < events_.size(); ++i) {
      if (!targets_[i]) continue;
      std::size_t counted = *targets_[i];
      for (std::size_t steps = 0; targets_[counted] && *targets_[counted] != i && steps < events_.size(); ++steps) {
        counted = *targets_[counted];
      }
      events_[i].copy_of = id_of(counted);
    }
  }

  // The counted event's id, one shared text for all its copies.
  const OptionalShared& id_of(std::size_t counted) {
    auto [slot, added] = ids_.try_emplace(counted);
    if (added) slot->second = OptionalShared(std::string(events_[counted].event_id.view()));
    return slot->second;
  }

  std::vector<Event>& events_;
  const bool several_inputs_;
  std::vector<std::optional<std::size_t>> targets_;
  std::vector<Key> keys_;
  static constexpr std::uint32_t kNoRecord = UINT32_MAX;
  std::vector<std::uint32_t> record_ordinals_;
  std::unordered_map<Key, std::size_t, KeyHash> records_;
  std::unordered_map<Key, std::size_t, KeyHash> firsts_;
  std::unordered_map<Key, std::uint32_t, KeyHash> ordinals_;
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
