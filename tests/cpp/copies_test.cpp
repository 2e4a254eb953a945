// Which events the copy pass marks, over the shapes real files give: repeated
// lines, resumed replays, sub-agent repeats, streamed usage, two backups.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/copies.hpp"

namespace {

using vt::Event;
using vt::EventType;

// One event of a case, in timeline order; empty texts are absent.
struct Spec {
  EventType type;
  std::string record_type;
  std::string path;
  std::uint64_t line;
  std::string record_id;
  std::string call_id;
  std::string message_id;
  std::string text;
  std::string input = "home";
  std::string sha256 = "";
  std::int64_t seconds = 100;
  std::string copy_of = "";  // set by a reader before the pass
  vt::Provider provider = vt::Provider::ClaudeCode;
};

struct Case {
  const char* name;
  std::vector<Spec> events;
  std::vector<int> first;  // per event: the index it copies, or -1
};

constexpr auto kText = EventType::AgentMessage;
constexpr auto kCall = EventType::ToolCall;
constexpr auto kResult = EventType::ToolResult;
constexpr auto kUsage = EventType::TokenUsage;
constexpr auto kPrompt = EventType::PromptInput;
constexpr auto kThinking = EventType::AgentReasoning;
constexpr auto kSnapshot = EventType::FileSnapshot;

const Case kCases[] = {
    {"a line written twice (0.2.x): every block of the second is a copy",
     {{kPrompt, "user/text", "s.jsonl", 1, "u1", "", "", "fix it"},
      {kText, "assistant/text", "s.jsonl", 2, "u2", "", "m1", "done"},
      {kCall, "assistant/tool_use", "s.jsonl", 2, "u2", "t1", "m1", "Bash: ls"},
      {kPrompt, "user/text", "s.jsonl", 3, "u1", "", "", "fix it"},
      {kText, "assistant/text", "s.jsonl", 4, "u2", "", "m1", "done"},
      {kCall, "assistant/tool_use", "s.jsonl", 4, "u2", "t1", "m1", "Bash: ls"}},
     {-1, -1, -1, 0, 1, 2}},
    {"blocks of one type in one record are told apart by their place",
     {{kResult, "user/tool_result", "s.jsonl", 1, "u1", "", "", "ok"},
      {kResult, "user/tool_result", "s.jsonl", 1, "u1", "", "", "ok"},
      {kResult, "user/tool_result", "s.jsonl", 7, "u1", "", "", "ok"},
      {kResult, "user/tool_result", "s.jsonl", 7, "u1", "", "", "ok"}},
     {-1, -1, 0, 1}},
    {"a resumed session replays with new record ids, the same message and call ids",
     {{kText, "assistant/text", "a.jsonl", 2, "u2", "", "m1", "looking"},
      {kCall, "assistant/tool_use", "a.jsonl", 3, "u3", "t1", "m1", "Read: /f"},
      {kResult, "user/tool_result", "a.jsonl", 4, "u4", "t1", "", "text of f"},
      {kText, "assistant/text", "b.jsonl", 2, "v2", "", "m1", "looking"},
      {kCall, "assistant/tool_use", "b.jsonl", 3, "v3", "t1", "m1", "Read: /f"},
      {kResult, "user/tool_result", "b.jsonl", 4, "v4", "t1", "", "text of f"},
      {kCall, "assistant/tool_use", "b.jsonl", 9, "v9", "t2", "m2", "Read: /f"}},
     {-1, -1, -1, 0, 1, 2, -1}},
    {"calls of one message that read alike are calls of their own (Glob over one folder twice)",
     {{kCall, "assistant/tool_use", "s.jsonl", 2, "u2", "t1", "m1", "Glob: /w/app"},
      {kCall, "assistant/tool_use", "s.jsonl", 3, "u3", "t2", "m1", "Glob: /w/app"},
      {kResult, "user/tool_result", "s.jsonl", 4, "u4", "t1", "", "a.ts"},
      {kResult, "user/tool_result", "s.jsonl", 5, "u5", "t2", "", "a.ts"},
      {kCall, "assistant/tool_use", "s.jsonl", 9, "u9", "t2", "m1", "Glob: /w/app"}},
     {-1, -1, -1, -1, 1}},
    {"chunks of one message are not copies of each other (types, texts differ)",
     {{kThinking, "assistant/thinking", "s.jsonl", 1, "u1", "", "m1", ""},
      {kText, "assistant/text", "s.jsonl", 2, "u2", "", "m1", "first"},
      {kThinking, "assistant/thinking", "s.jsonl", 3, "u3", "", "m1", ""},
      {kText, "assistant/text", "s.jsonl", 4, "u4", "", "m1", "second"}},
     {-1, -1, -1, -1}},
    {"usage of one message: the first file's counts, later files' copies",
     {{kUsage, "assistant/usage", "a.jsonl", 5, "u5", "", "m1", "output 9"},
      {kUsage, "assistant/usage", "b.jsonl", 5, "v5", "", "m1", "output 7"},
      {kUsage, "assistant/usage", "b.jsonl", 8, "v8", "", "m2", "output 7"}},
     {-1, 0, -1}},
    {"two backups read together: the same place and content is a copy",
     {{kPrompt, "", "history.jsonl", 1, "", "", "", "hi", "monday"},
      {kPrompt, "", "history.jsonl", 1, "", "", "", "hi", "tuesday"},
      {kPrompt, "", "history.jsonl", 2, "", "", "", "again", "monday"},
      {kPrompt, "", "history.jsonl", 2, "", "", "", "changed", "tuesday"},
      {kSnapshot, "", "file-history/s/a@v1", 0, "", "", "", "", "monday", "aa"},
      {kSnapshot, "", "file-history/s/a@v1", 0, "", "", "", "", "tuesday", "aa"},
      {kSnapshot, "", "file-history/s/b@v1", 0, "", "", "", "", "monday", "bb"},
      {kSnapshot, "", "file-history/s/b@v1", 0, "", "", "", "", "tuesday", "cc"}},
     {-1, 0, -1, -1, -1, 4, -1, -1}},
    {"one input: equal content elsewhere in a file is no copy without ids",
     {{kPrompt, "", "history.jsonl", 1, "", "", "", "hi"},
      {kPrompt, "", "history.jsonl", 2, "", "", "", "hi"}},
     {-1, -1}},
    {"a reader's copy keeps its mark, and follows its first when that is a copy",
     {{kText, "assistant/text", "a.jsonl", 1, "u1", "", "m1", "x"},
      {kText, "assistant/text", "b.jsonl", 1, "v1", "", "m1", "x"},
      {kText, "assistant/text", "b.jsonl", 2, "v2", "", "", "x", "home", "", 100, "id1"},
      {kText, "assistant/text", "c.jsonl", 1, "w1", "", "m9", "y", "home", "", 100, "elsewhere"}},
     {-1, 0, 0, -2}},
    {"a sub-agent's file repeats its parent's records: the parent's place counts, earlier or not",
     {{kPrompt, "sidechain/user/text", "p/s/subagents/agent-1.jsonl", 1, "u1", "", "", "task"},
      {kPrompt, "user/text", "p/s.jsonl", 3, "u1", "", "", "task"},
      {kResult, "sidechain/user/tool_result", "p/s/subagents/agent-1.jsonl", 2, "u2", "t5", "", "ok"},
      {kResult, "user/tool_result", "p/s.jsonl", 4, "u2", "t5", "", "ok"},
      {kPrompt, "user/text", "p/s.jsonl", 9, "u9", "", "", "more"},
      {kPrompt, "sidechain/user/text", "p/s/subagents/agent-1.jsonl", 9, "u9", "", "", "more"}},
     {1, -1, 3, -1, -1, 4}},
    {"an agent whose reader judges its own copies: its ids repeat freely, places across inputs still count once",
     {{kText, "gemini/text", "c.jsonl", 2, "m1", "", "m1", "ok", "main", "", 100, "", vt::Provider::GeminiCli},
      {kText, "gemini/text", "c.jsonl", 6, "m1", "", "m1", "ok", "main", "", 200, "", vt::Provider::GeminiCli},
      {kText, "gemini/text", "c.jsonl", 6, "m1", "", "m1", "ok", "backup", "", 200, "", vt::Provider::GeminiCli}},
     {-1, -1, 1}},
};

std::vector<Event> events_of(const Case& c) {
  std::vector<Event> events;
  for (std::size_t i = 0; i < c.events.size(); ++i) {
    const Spec& s = c.events[i];
    Event e;
    e.provider = s.provider;
    e.event_type = s.type;
    e.event_id = s.path + "#" + std::to_string(s.line) + "#" + std::to_string(i);
    // Two inputs' events at one place share their id.
    if (s.input != "home") e.event_id = s.path + "#" + std::to_string(s.line);
    if (!s.record_type.empty()) e.source.record_type = s.record_type;
    e.source.relative_path = s.path;
    if (s.line != 0) e.source.line_number = s.line;
    if (!s.record_id.empty()) e.facts.record_id = s.record_id;
    if (!s.call_id.empty()) e.facts.tool_call_id = s.call_id;
    if (!s.message_id.empty()) e.facts.message_id = s.message_id;
    e.message = s.text;
    e.input = s.input;
    e.timestamp = vt::Instant::from_unix(s.seconds);
    if (!s.sha256.empty()) {
      e.artifact = vt::Artifact{};
      e.artifact->sha256 = s.sha256;
    }
    if (!s.copy_of.empty()) e.copy_of = s.copy_of;
    events.push_back(std::move(e));
  }
  return events;
}

TEST(Copies, EachRuleOverRealShapes) {
  for (const Case& c : kCases) {
    std::vector<Event> events = events_of(c);
    // The reader's mark in the last case names the first event's id.
    for (Event& e : events) {
      if (e.copy_of && *e.copy_of == "id1") e.copy_of = std::string(events[1].event_id.view());
    }
    const std::vector<Event> before = events;
    vt::mark_copies(events);
    ASSERT_EQ(events.size(), c.first.size()) << c.name;
    for (std::size_t i = 0; i < events.size(); ++i) {
      // Nothing dropped or reordered: marks only.
      EXPECT_EQ(events[i].event_id, before[i].event_id) << c.name << " #" << i;
      EXPECT_EQ(events[i].message, before[i].message) << c.name << " #" << i;
      const int first = c.first[i];
      if (first == -2) {
        EXPECT_EQ(events[i].copy_of, std::string_view("elsewhere")) << c.name << " #" << i;
      } else if (first < 0) {
        EXPECT_FALSE(events[i].copy_of) << c.name << " #" << i << ": " << events[i].copy_of.value_or("");
      } else {
        EXPECT_EQ(events[i].copy_of, events[static_cast<std::size_t>(first)].event_id.view()) << c.name << " #" << i;
      }
    }
  }
}

}  // namespace
