#include "core/timeline_order.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tuple>

namespace vt {

namespace {

using Index = std::size_t;

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

// Timestamp, path, line, type rank, version (absent as 0), provisional
// sequence, id: a lexicographic key, so a strict weak ordering.
bool key_less(const Event& a, const Event& b) {
  if (int c = compare_present_first(a.timestamp, b.timestamp)) return c < 0;
  if (int c = sign(a.source.relative_path.compare(b.source.relative_path))) return c < 0;
  if (int c = compare_present_first(a.source.line_number, b.source.line_number)) return c < 0;
  const int ra = order_rank(a.event_type), rb = order_rank(b.event_type);
  if (ra != rb) return ra < rb;
  const std::uint64_t va = version_of(a).value_or(0), vb = version_of(b).value_or(0);
  if (va != vb) return va < vb;
  if (a.sequence != b.sequence) return a.sequence < b.sequence;
  return a.event_id < b.event_id;
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

}  // namespace

void sort_timeline(std::vector<Event>& events) {
  if (events.size() < 2) return;
  std::vector<Index> order(events.size());
  for (Index i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](Index x, Index y) { return key_less(events[x], events[y]); });
  for (std::size_t first = 0; first < order.size();) {
    std::size_t last = first + 1;
    while (last < order.size() && events[order[last]].timestamp == events[order[first]].timestamp) {
      ++last;
    }
    if (last - first >= 2) order_snapshot_groups(events, order, first, last);
    first = last;
  }
  std::vector<Event> sorted;
  sorted.reserve(events.size());
  for (Index i : order) sorted.push_back(std::move(events[i]));
  events = std::move(sorted);
}

}  // namespace vt
