#include "core/timeline_order.hpp"

#include "core/parallel_files.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <tuple>

namespace vt {

namespace {

std::optional<std::uint64_t> version_of(const Event& e) {
  return e.artifact ? e.artifact->snapshot_version : std::nullopt;
}

// Present before absent; two present values by their own order.
template <class T>
int compare_present_first(const std::optional<T>& a, const std::optional<T>& b) {
  if (a.has_value() != b.has_value()) return a.has_value() ? -1 : 1;
  if (!a) return 0;
  return *a < *b ? -1 : (*b < *a ? 1 : 0);
}

int sign(int v) { return (v > 0) - (v < 0); }

// The keys after the timestamp: path, line, type rank, version (absent as
// 0), provisional sequence, id.
bool tail_less(const Event& a, const Event& b) {
  if (int c = sign(a.source.relative_path.compare(b.source.relative_path))) return c < 0;
  if (int c = compare_present_first(a.source.line_number, b.source.line_number)) return c < 0;
  const int ra = order_rank(a.event_type), rb = order_rank(b.event_type);
  if (ra != rb) return ra < rb;
  const std::uint64_t va = version_of(a).value_or(0), vb = version_of(b).value_or(0);
  if (va != vb) return va < vb;
  if (a.sequence != b.sequence) return a.sequence < b.sequence;
  return a.event_id < b.event_id;
}

// The timestamp copied out of the event, so that most comparisons of a large
// timeline are decided without touching the (large) event records. With
// 32-bit indexes a key takes 16 bytes.
template <class Index>
struct SortKey {
  static constexpr std::uint32_t kUntimed = 0xFFFFFFFF;  // never a nanosecond count
  std::int64_t seconds;
  std::uint32_t nanos;
  Index index;

  bool timed() const { return nanos != kUntimed; }
  bool same_time(const SortKey& o) const { return seconds == o.seconds && nanos == o.nanos; }
};

template <class Index>
SortKey<Index> key_of(const Event& e, Index index) {
  if (!e.timestamp) return SortKey<Index>{0, SortKey<Index>::kUntimed, index};
  return SortKey<Index>{e.timestamp->unix_seconds(), e.timestamp->nanos(), index};
}

// Moves each event to its place in `order` (order[pos] = current index of the
// event that belongs at pos), following the permutation's cycles.
template <class Index>
void apply_order(std::vector<Event>& events, const std::vector<Index>& order) {
  std::vector<bool> placed(events.size(), false);
  for (Index start = 0; start < events.size(); ++start) {
    if (placed[start] || order[start] == start) continue;
    Event held = std::move(events[start]);
    Index pos = start;
    while (true) {
      placed[pos] = true;
      const Index from = order[pos];
      if (from == start) {
        events[pos] = std::move(held);
        break;
      }
      events[pos] = std::move(events[from]);
      pos = from;
    }
  }
}

// Snapshots of one session and source: no version first, then ascending.
bool version_less(const Event& a, const Event& b) {
  const auto va = version_of(a), vb = version_of(b);
  if (va.has_value() != vb.has_value()) return !va.has_value();
  return va && *va < *vb;
}

bool same_group(const Event& a, const Event& b) {
  return a.session_id == b.session_id && a.source.source_id == b.source.source_id;
}

bool group_less(const Event& a, const Event& b) {
  return std::tie(a.session_id, a.source.source_id) < std::tie(b.session_id, b.source.source_id);
}

// Within one run of equal timestamps, puts the snapshots of each (session,
// source) group in version order over the positions the group holds.
template <class Index>
void order_snapshot_groups(const std::vector<Event>& events, std::vector<Index>& order,
                           std::size_t first, std::size_t last) {
  std::vector<std::size_t> slots;  // positions in `order` that hold snapshots
  for (std::size_t pos = first; pos < last; ++pos) {
    if (events[order[pos]].event_type == EventType::FileSnapshot) slots.push_back(pos);
  }
  if (slots.size() < 2) return;
  const auto event_at = [&](std::size_t pos) -> const Event& { return events[order[pos]]; };
  std::stable_sort(slots.begin(), slots.end(), [&](std::size_t x, std::size_t y) {
    return group_less(event_at(x), event_at(y));
  });
  std::vector<Index> members;
  for (std::size_t g = 0; g < slots.size();) {
    std::size_t end = g + 1;
    while (end < slots.size() && same_group(event_at(slots[g]), event_at(slots[end]))) ++end;
    if (end - g >= 2) {
      // `slots[g..end)` are ascending positions: the group's members in key order.
      members.clear();
      for (std::size_t k = g; k < end; ++k) members.push_back(order[slots[k]]);
      std::stable_sort(members.begin(), members.end(),
                       [&](Index x, Index y) { return version_less(events[x], events[y]); });
      for (std::size_t k = g; k < end; ++k) order[slots[k]] = members[k - g];
    }
    g = end;
  }
}

// Below this many keys a part is not worth a thread of its own.
constexpr std::size_t kMinPartKeys = 4096;

// Stable sort of `keys` by `less`: in parts side by side, then merged pair
// by pair (the left part first among equals, as one stable sort would have it).
template <class Key, class Less>
void stable_sort_parts(std::vector<Key>& keys, const Less& less, unsigned threads) {
  const std::size_t parts = std::min<std::size_t>(threads, keys.size() / kMinPartKeys);
  if (parts <= 1) {
    std::stable_sort(keys.begin(), keys.end(), less);
    return;
  }
  const auto bound = [&](std::size_t part) {
    return keys.begin() + static_cast<std::ptrdiff_t>(std::min(keys.size(), part * keys.size() / parts));
  };
  for_each_index(parts, threads, [&](std::size_t p) {
    std::stable_sort(bound(p), bound(p + 1), less);
    return true;
  });
  for (std::size_t width = 1; width < parts; width *= 2) {
    const std::size_t merges = (parts + 2 * width - 1) / (2 * width);
    for_each_index(merges, threads, [&](std::size_t m) {
      const std::size_t first = 2 * width * m;
      if (first + width < parts) {
        std::inplace_merge(bound(first), bound(first + width), bound(std::min(parts, first + 2 * width)), less);
      }
      return true;
    });
  }
}

template <class Index>
void sort_with_keys(std::vector<Event>& events, unsigned threads) {
  // Timestamp, then the remaining keys: a lexicographic key, hence a strict
  // weak ordering.
  std::vector<SortKey<Index>> keys;
  keys.reserve(events.size());
  for (Index i = 0; i < events.size(); ++i) keys.push_back(key_of(events[i], i));
  stable_sort_parts(keys, [&](const SortKey<Index>& a, const SortKey<Index>& b) {
    if (a.timed() != b.timed()) return a.timed();
    if (a.timed() && (a.seconds != b.seconds || a.nanos != b.nanos)) {
      return a.seconds != b.seconds ? a.seconds < b.seconds : a.nanos < b.nanos;
    }
    return tail_less(events[a.index], events[b.index]);
  }, threads);
  std::vector<Index> order(keys.size());
  for (std::size_t pos = 0; pos < keys.size(); ++pos) order[pos] = keys[pos].index;
  for (std::size_t first = 0; first < keys.size();) {
    std::size_t last = first + 1;
    while (last < keys.size() && keys[last].same_time(keys[first])) ++last;
    if (last - first >= 2) order_snapshot_groups(events, order, first, last);
    first = last;
  }
  apply_order(events, order);
}

}  // namespace

void sort_timeline(std::vector<Event>& events, unsigned threads) {
  if (events.size() < 2) return;
  if (events.size() <= std::numeric_limits<std::uint32_t>::max()) {
    sort_with_keys<std::uint32_t>(events, threads);
  } else {
    sort_with_keys<std::uint64_t>(events, threads);
  }
}

}  // namespace vt
