#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/driver.hpp"
#include "core/timeline_order.hpp"

namespace {

using vt::Event;
using vt::EventType;

vt::Instant at(std::int64_t seconds, std::uint32_t nanos = 0) {
  return *vt::Instant::from_unix(seconds, nanos);
}

// Each test event carries its own name in `message`, to read orders back.
Event make(const std::string& name, std::optional<vt::Instant> ts, const std::string& path,
           EventType type = EventType::Unknown) {
  Event e;
  e.message = name;
  e.event_id = "id-" + name;
  e.timestamp = ts;
  e.source.relative_path = path;
  e.event_type = type;
  return e;
}

Event snapshot(const std::string& name, std::optional<vt::Instant> ts, const std::string& path,
               std::optional<std::uint64_t> version, std::optional<std::string> session = "s1",
               std::optional<std::string> source = "abc") {
  Event e = make(name, ts, path, EventType::FileSnapshot);
  e.session_id = std::move(session);
  e.source.source_id = std::move(source);
  e.artifact = vt::Artifact{};
  e.artifact->snapshot_version = version;
  return e;
}

std::vector<std::string> names(const std::vector<Event>& events) {
  std::vector<std::string> out;
  for (const Event& e : events) out.push_back(e.message.value_or("?"));
  return out;
}

std::vector<std::string> sorted_names(std::vector<Event> events) {
  vt::sort_timeline(events);
  return names(events);
}

// The pairwise comparison of the timeline as documented for users (keys 1 to
// 8), kept independent of the implementation to check it against.
int documented_compare(const Event& a, const Event& b) {
  auto present_first = [](const auto& x, const auto& y) {
    if (x.has_value() != y.has_value()) return x.has_value() ? -1 : 1;
    if (!x) return 0;
    return *x < *y ? -1 : (*y < *x ? 1 : 0);
  };
  auto num = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  auto version = [](const Event& e) {
    return e.artifact ? e.artifact->snapshot_version : std::nullopt;
  };
  if (int c = present_first(a.timestamp, b.timestamp)) return c;
  if (a.event_type == EventType::FileSnapshot && b.event_type == EventType::FileSnapshot &&
      a.session_id == b.session_id && a.source.source_id == b.source.source_id) {
    const auto va = version(a), vb = version(b);
    if (va.has_value() != vb.has_value()) return va.has_value() ? 1 : -1;
    if (va && *va != *vb) return num(*va, *vb);
  }
  if (int c = a.source.relative_path.compare(b.source.relative_path)) return c < 0 ? -1 : 1;
  if (int c = present_first(a.source.line_number, b.source.line_number)) return c;
  if (int c = num(vt::order_rank(a.event_type), vt::order_rank(b.event_type))) return c;
  if (int c = num(version(a).value_or(0), version(b).value_or(0))) return c;
  if (int c = num(a.sequence, b.sequence)) return c;
  return num(a.event_id.compare(b.event_id), 0);
}

bool is_strict_weak_order(const std::vector<Event>& ev) {
  const std::size_t n = ev.size();
  auto lt = [&](std::size_t i, std::size_t j) { return documented_compare(ev[i], ev[j]) < 0; };
  auto eq = [&](std::size_t i, std::size_t j) { return !lt(i, j) && !lt(j, i); };
  for (std::size_t i = 0; i < n; ++i) {
    if (lt(i, i)) return false;
    for (std::size_t j = 0; j < n; ++j) {
      for (std::size_t k = 0; k < n; ++k) {
        if (lt(i, j) && lt(j, k) && !lt(i, k)) return false;
        if (eq(i, j) && eq(j, k) && !eq(i, k)) return false;
      }
    }
  }
  return true;
}

// Stable insertion by the documented comparison (sound when it is a strict
// weak ordering).
std::vector<std::string> documented_order(std::vector<Event> events) {
  for (std::size_t i = 1; i < events.size(); ++i) {
    for (std::size_t j = i; j > 0 && documented_compare(events[j], events[j - 1]) < 0; --j) {
      std::swap(events[j], events[j - 1]);
    }
  }
  return names(events);
}

TEST(TimelineOrder, TimestampedBeforeUntimestampedAndChronological) {
  std::vector<Event> events = {make("none-b", std::nullopt, "b"), make("late", at(20), "z"),
                               make("none-a", std::nullopt, "a"), make("early", at(10, 5), "z"),
                               make("earliest", at(10, 4), "zz")};
  EXPECT_EQ(sorted_names(events),
            (std::vector<std::string>{"earliest", "early", "late", "none-a", "none-b"}));
}

TEST(TimelineOrder, LineNumberDecidesBeforeTypeRank) {
  Event start = make("start", at(1), "f.jsonl", EventType::SessionStart);
  Event prompt = make("prompt", at(1), "f.jsonl", EventType::PromptInput);
  start.source.line_number = prompt.source.line_number = 3;
  EXPECT_EQ(sorted_names({prompt, start}), (std::vector<std::string>{"start", "prompt"}));
  start.source.line_number = 4;
  EXPECT_EQ(sorted_names({start, prompt}), (std::vector<std::string>{"prompt", "start"}));
  // A line number comes before none.
  start.source.line_number.reset();
  EXPECT_EQ(sorted_names({start, prompt}), (std::vector<std::string>{"prompt", "start"}));
}

TEST(TimelineOrder, PathComparesBytewise) {
  // A prefix first; bytes above 0x7F after ASCII.
  std::vector<Event> events = {make("utf8", at(1), "\xC3\xA9"), make("ab", at(1), "ab"),
                               make("a", at(1), "a"), make("B", at(1), "B")};
  EXPECT_EQ(sorted_names(events), (std::vector<std::string>{"B", "a", "ab", "utf8"}));
}

TEST(TimelineOrder, LaterKeysBreakTies) {
  Event a = make("a", std::nullopt, "p");
  Event b = make("b", std::nullopt, "p");
  a.sequence = 2;
  b.sequence = 1;
  EXPECT_EQ(sorted_names({a, b}), (std::vector<std::string>{"b", "a"}));
  b.sequence = 2;
  a.event_id = "2";
  b.event_id = "1";
  EXPECT_EQ(sorted_names({a, b}), (std::vector<std::string>{"b", "a"}));
  // Fully equal events keep the order they were delivered in.
  b.event_id = "2";
  EXPECT_EQ(sorted_names({a, b}), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(sorted_names({b, a}), (std::vector<std::string>{"b", "a"}));
}

TEST(TimelineOrder, SnapshotVersionsOfOneGroupOverridePathOrder) {
  // Paths sort @v10 before @v2; the versions put 2 first. "a/x" and "z/y" do
  // not lie between them, so the documented comparison is consistent here.
  std::vector<Event> events = {
      snapshot("v10", at(5), "s1/abc@v10", 10), make("z", at(5), "z/y"),
      snapshot("v2", at(5), "s1/abc@v2", 2),     make("a", at(5), "a/x"),
      snapshot("none", at(5), "s1/abc@v9", std::nullopt),
      snapshot("other-session", at(5), "s1/abc@v1", 1, "s2")};
  ASSERT_TRUE(is_strict_weak_order(events));
  const std::vector<std::string> expected = {"a", "other-session", "none", "v2", "v10", "z"};
  EXPECT_EQ(documented_order(events), expected);
  EXPECT_EQ(sorted_names(events), expected);
}

TEST(TimelineOrder, VersionKeyAsZeroWhenAbsentOutsideGroups) {
  // Same path, line and rank, different sources: version as 0 decides.
  std::vector<Event> events = {snapshot("v1", at(1), "p", 1, "s", "a"),
                               snapshot("noversion", at(1), "p", std::nullopt, "s", "b"),
                               snapshot("v0", at(1), "p", 0, "s", "c")};
  events[2].sequence = 1;
  EXPECT_EQ(sorted_names(events), (std::vector<std::string>{"noversion", "v0", "v1"}));
}

TEST(TimelineOrder, CyclicComparisonGivesOneOrderWhateverTheInputOrder) {
  // v2 < v10 by version, v10 < other by path, other < v2 by path.
  const std::vector<Event> base = {snapshot("v10", at(7), "s1/abc@v10", 10),
                                   snapshot("v2", at(7), "s1/abc@v2", 2),
                                   snapshot("other", at(7), "s1/abc@v1@v5", 5, "s1", "abc@v1")};
  ASSERT_FALSE(is_strict_weak_order(base));
  std::vector<std::size_t> perm = {0, 1, 2};
  do {
    std::vector<Event> input;
    for (std::size_t i : perm) input.push_back(base[i]);
    EXPECT_EQ(sorted_names(input), (std::vector<std::string>{"v2", "other", "v10"}));
  } while (std::next_permutation(perm.begin(), perm.end()));
}

// Random small timelines over a narrow vocabulary, so that ties, groups and
// both kinds of version absence are common.
std::vector<Event> random_events(std::mt19937& rng, std::size_t n) {
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<unsigned>(k)); };
  const char* paths[] = {"a", "a/b", "b"};
  const EventType types[] = {EventType::FileSnapshot, EventType::FileSnapshot,
                             EventType::PromptInput, EventType::SessionStart};
  std::vector<Event> out;
  for (std::size_t i = 0; i < n; ++i) {
    Event e = make("e" + std::to_string(i), std::nullopt, paths[pick(3)], types[pick(4)]);
    if (int t = pick(3)) e.timestamp = at(t);
    if (pick(2)) e.session_id = "s";
    if (pick(2)) e.source.source_id = "x";
    if (int l = pick(3)) e.source.line_number = static_cast<std::uint64_t>(l);
    if (int v = pick(5)) {
      e.artifact = vt::Artifact{};
      if (v > 1) e.artifact->snapshot_version = static_cast<std::uint64_t>(v - 2);
    }
    e.sequence = static_cast<std::uint64_t>(pick(2));
    e.event_id = pick(2) ? "x" : "y";
    out.push_back(std::move(e));
  }
  return out;
}

TEST(TimelineOrder, MatchesDocumentedOrderWheneverItIsConsistent) {
  std::mt19937 rng(20240501);
  int consistent = 0, inconsistent = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::vector<Event> events = random_events(rng, 2 + round % 7);
    const std::vector<std::string> got = sorted_names(events);
    if (is_strict_weak_order(events)) {
      ++consistent;
      ASSERT_EQ(got, documented_order(events)) << "round " << round;
    } else {
      ++inconsistent;
      // Still a permutation of the input, and repeatable.
      std::vector<std::string> a = got, b = names(events);
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      ASSERT_EQ(a, b);
      ASSERT_EQ(sorted_names(events), got);
    }
  }
  // Both situations were actually exercised.
  EXPECT_GT(consistent, 1000);
  EXPECT_GT(inconsistent, 10);
}

// Sorted in parts on several threads and merged: the order of one thread,
// over a timeline large enough to be cut (ties, groups and absent keys
// common), whatever the number of parts.
TEST(ThreadedRun, SortAsOnOneThread) {
  std::mt19937 rng(28);
  std::vector<Event> events = random_events(rng, 40000);
  for (std::size_t i = 0; i < events.size(); i += 3) events[i].timestamp = at(static_cast<std::int64_t>(rng() % 50));
  std::vector<Event> serial = events;
  vt::sort_timeline(serial, 1);
  for (const unsigned threads : {2u, 3u, 5u, 16u}) {
    std::vector<Event> parted = events;
    vt::sort_timeline(parted, threads);
    ASSERT_EQ(names(parted), names(serial)) << threads;
  }
}

TEST(FinalizeReport, NumbersEventsInTimelineOrder) {
  std::vector<Event> events = {make("b", at(2), "p"), make("c", std::nullopt, "p"),
                               make("a", at(1), "p")};
  for (Event& e : events) e.sequence = 9;
  std::vector<vt::Diagnostic> diagnostics(2);
  diagnostics[0].message = "second emitted first";
  diagnostics[1].message = "then this";
  diagnostics[0].severity = diagnostics[1].severity = vt::Severity::Error;
  const auto report = vt::finalize_report(events, diagnostics, false);
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(names(report->events), (std::vector<std::string>{"a", "b", "c"}));
  for (std::size_t i = 0; i < report->events.size(); ++i) {
    EXPECT_EQ(report->events[i].sequence, i);
  }
  ASSERT_EQ(report->diagnostics.size(), 2u);
  EXPECT_EQ(report->diagnostics[0].message, "second emitted first");
}

TEST(FinalizeReport, SingleEventGetsSequenceZero) {
  std::vector<Event> events = {make("only", std::nullopt, "p")};
  events[0].sequence = 41;
  const auto report = vt::finalize_report(events, {}, true);
  ASSERT_TRUE(report.has_value());
  ASSERT_EQ(report->events.size(), 1u);
  EXPECT_EQ(report->events[0].sequence, 0u);
}

struct StrictCase {
  std::vector<vt::Severity> severities;
  bool strict;
  const char* error;  // nullptr: the report comes back
};

class StrictMode : public ::testing::TestWithParam<StrictCase> {};

TEST_P(StrictMode, StopsAtFirstErrorOnlyWhenStrict) {
  const StrictCase& c = GetParam();
  std::vector<vt::Diagnostic> diagnostics;
  for (std::size_t i = 0; i < c.severities.size(); ++i) {
    vt::Diagnostic d;
    d.severity = c.severities[i];
    d.message = "problem " + std::to_string(i);
    diagnostics.push_back(d);
  }
  const auto report = vt::finalize_report({make("e", at(1), "p")}, diagnostics, c.strict);
  if (c.error == nullptr) {
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->diagnostics.size(), c.severities.size());
    EXPECT_EQ(report->events.size(), 1u);
  } else {
    ASSERT_FALSE(report.has_value());
    EXPECT_EQ(report.error().kind(), vt::ParseErrorKind::Message);
    EXPECT_EQ(report.error().text(), c.error);
  }
}

using vt::Severity;
INSTANTIATE_TEST_SUITE_P(
    Cases, StrictMode,
    ::testing::Values(
        StrictCase{{Severity::Warning, Severity::Info}, true, nullptr},
        StrictCase{{Severity::Error}, false, nullptr},
        StrictCase{{}, true, nullptr},
        StrictCase{{Severity::Warning, Severity::Error, Severity::Error}, true,
                   "Strict mode: problem 1"},
        StrictCase{{Severity::Error, Severity::Warning}, true, "Strict mode: problem 0"}));

}  // namespace
