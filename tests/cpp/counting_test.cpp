// The count rule over the event shapes the readers produce: blocks of one
// record, IDE and command-output blocks, copies and replays, the prompt
// history beside a conversation, Codex's double-written records, and the
// token and cost sums (saturating, unpriced usage said).
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "core/counting.hpp"

namespace vt {
namespace {

using O = PromptOrigin;
constexpr auto kHistory = ArtifactKind::History;
constexpr auto kTranscript = ArtifactKind::Transcript;
constexpr auto kRollout = ArtifactKind::Session;

struct Spec {
  EventType type = EventType::PromptInput;
  std::optional<PromptOrigin> origin = O::Typed;
  ArtifactKind kind = kTranscript;
  const char* record_type = "user/text";
  const char* path = "projects/-w/s.jsonl";
  std::optional<std::uint64_t> line = 1;
  const char* record_id = nullptr;
  const char* session = "s1";
  Provider provider = Provider::ClaudeCode;
  const char* input = nullptr;
  const char* copy_of = nullptr;
};

Event event_of(const Spec& spec) {
  Event e;
  e.provider = spec.provider;
  e.event_type = spec.type;
  e.origin = spec.type == EventType::PromptInput ? spec.origin : std::nullopt;
  if (spec.session) e.session_id = spec.session;
  e.source = SourceRef{spec.kind, spec.record_type, spec.path, spec.line, std::nullopt};
  if (spec.record_id) e.facts.record_id = spec.record_id;
  if (spec.input) e.input = spec.input;
  if (spec.copy_of) e.copy_of = spec.copy_of;
  return e;
}

struct Case {
  const char* name;
  std::vector<Spec> events;
  // typed, injected, command prompts, agent messages, tool calls
  std::array<std::uint64_t, 5> counts;
};

Spec history(const char* session = "s1", O origin = O::Typed, std::uint64_t line = 1) {
  return Spec{.origin = origin, .kind = kHistory, .record_type = "history", .path = "history.jsonl",
              .line = line, .session = session};
}

Spec block(const char* record_type, O origin, std::uint64_t line, const char* uuid = nullptr,
           const char* path = "projects/-w/s.jsonl") {
  return Spec{.origin = origin, .record_type = record_type, .path = path, .line = line, .record_id = uuid};
}

Spec codex(EventType type, const char* record_type, std::uint64_t line, O origin = O::Typed) {
  return Spec{.type = type, .origin = origin, .kind = kRollout, .record_type = record_type,
              .path = "sessions/rollout-s1.jsonl", .line = line, .provider = Provider::Codex};
}

Spec tool_call(std::uint64_t line, const char* uuid, const char* path = "projects/-w/s.jsonl",
               const char* record_type = "assistant/tool_use") {
  return Spec{.type = EventType::ToolCall, .record_type = record_type, .path = path, .line = line,
              .record_id = uuid};
}

const std::vector<Case> kCases = {
    {"a record of an IDE block and typed text is one typed prompt",
     {block("user/ide_context", O::Injected, 2, "u1"), block("user/text", O::Typed, 2, "u1")},
     {1, 0, 0, 0, 0}},
    {"a record of IDE blocks only is one injected prompt",
     {block("user/ide_context", O::Injected, 2, "u1"), block("user/ide_context", O::Injected, 2, "u1")},
     {0, 1, 0, 0, 0}},
    {"two typed blocks of one record are one prompt, two records two",
     {block("user/text", O::Typed, 2, "u1"), block("user/text", O::Typed, 2, "u1"),
      block("user/text", O::Typed, 4, "u2")},
     {2, 0, 0, 0, 0}},
    {"a command and its output are one command",
     {block("user/command", O::Command, 5, "u1"), block("user/command_output", O::Command, 6, "u2")},
     {0, 0, 1, 0, 0}},
    {"a copy counts nowhere",
     {block("user/text", O::Typed, 1, "u1"), [] {
        Spec s = block("user/text", O::Typed, 9, "u9");
        s.copy_of = "e1";
        return s;
      }(), tool_call(3, "a1"), [] {
        Spec s = tool_call(10, "a9");
        s.copy_of = "e3";
        return s;
      }()},
     {1, 0, 0, 0, 1}},
    {"a record written twice (same uuid) counts at its first line",
     {block("user/text", O::Typed, 1, "u1"), tool_call(2, "a1"), block("user/text", O::Typed, 3, "u1"),
      tool_call(4, "a1")},
     {1, 0, 0, 0, 1}},
    {"a sub-agent replaying its parent's record counts at the parent's place",
     {block("sidechain/user/text", O::Injected, 1, "u1", "projects/-w/s/subagents/agent-a.jsonl"),
      tool_call(2, "a1", "projects/-w/s/subagents/agent-a.jsonl", "sidechain/assistant/tool_use"),
      block("user/text", O::Typed, 7, "u1"), tool_call(8, "a1"),
      block("sidechain/user/text", O::Injected, 3, "u5", "projects/-w/s/subagents/agent-a.jsonl")},
     {1, 1, 0, 0, 1}},
    {"the history stands back for a session with its own conversation",
     {history(), history("s1", O::Command, 2), block("user/text", O::Typed, 1, "u1")}, {1, 0, 0, 0, 0}},
    {"the history counts for a session without a conversation",
     {history(), history("s1", O::Typed, 2), history("s1", O::Command, 3)}, {2, 0, 1, 0, 0}},
    {"a sub-agent's prompts do not make a conversation of the session",
     {history(), block("sidechain/user/text", O::Injected, 1, "u1", "projects/-w/s/subagents/agent-a.jsonl")},
     {1, 1, 0, 0, 0}},
    {"another session's conversation leaves this session's history counted",
     {history("s2"), block("user/text", O::Typed, 1, "u1")}, {2, 0, 0, 0, 0}},
    {"one record id in two sessions is two records",
     {block("user/text", O::Typed, 1, "u1"), [] {
        Spec s = block("user/text", O::Typed, 1, "u1", "projects/-w/t.jsonl");
        s.session = "s2";
        return s;
      }()},
     {2, 0, 0, 0, 0}},
    {"codex: the user-message event counts, the item repeating it not",
     {codex(EventType::PromptInput, "response_item/message", 3),
      codex(EventType::PromptInput, "event_msg/user_message", 4),
      codex(EventType::PromptInput, "response_item/message", 2, O::Injected),
      codex(EventType::PromptInput, "response_item/message", 5, O::Command)},
     {1, 1, 1, 0, 0}},
    {"codex: an older rollout's items count",
     {codex(EventType::PromptInput, "message", 3), codex(EventType::PromptInput, "message", 6)}, {2, 0, 0, 0, 0}},
    {"codex: agent messages count at their event",
     {codex(EventType::AgentMessage, "event_msg/agent_message", 7),
      codex(EventType::AgentMessage, "response_item/message", 8), codex(EventType::AgentMessage, "message", 9),
      codex(EventType::ToolCall, "response_item/function_call", 10)},
     {0, 0, 0, 2, 1}},
    {"prompts without line numbers are one each",
     {Spec{.path = "sessions/rollout-s1.json", .line = std::nullopt},
      Spec{.path = "sessions/rollout-s1.json", .line = std::nullopt}},
     {2, 0, 0, 0, 0}},
    {"a line read in two inputs is two places", {Spec{.input = "a"}, Spec{.input = "b"}}, {2, 0, 0, 0, 0}},
};

class CountRuleCases : public ::testing::TestWithParam<Case> {};

TEST_P(CountRuleCases, Counts) {
  const Case& c = GetParam();
  std::vector<Event> events;
  for (const Spec& spec : c.events) events.push_back(event_of(spec));
  const Counts counts = count_events(std::span<const Event>(events));
  EXPECT_EQ((std::array<std::uint64_t, 5>{counts.typed_prompts, counts.injected_prompts, counts.command_prompts,
                                          counts.agent_messages, counts.tool_calls}),
            c.counts);
  // The same through pointers, as the session pages hold their events.
  std::vector<const Event*> pointers;
  for (const Event& e : events) pointers.push_back(&e);
  const Counts again = count_events(std::span<const Event* const>(pointers));
  EXPECT_EQ(again.typed_prompts + again.injected_prompts + again.command_prompts + again.tool_calls,
            counts.typed_prompts + counts.injected_prompts + counts.command_prompts + counts.tool_calls);
}

INSTANTIATE_TEST_SUITE_P(Shapes, CountRuleCases, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string name;
  for (const char* p = info.param.name; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
});

TEST(CountRule, TheRecordsFirstBlockCarriesTheCount) {
  std::vector<Event> events = {event_of(block("user/ide_context", O::Injected, 2, "u1")),
                               event_of(block("user/text", O::Typed, 2, "u1"))};
  const CountRule rule{std::span<const Event>(events)};
  EXPECT_EQ(rule[0].as, CountedAs::TypedPrompt);
  EXPECT_EQ(rule[1].as, CountedAs::Nothing);
}

Event usage_event(std::optional<std::uint64_t> input, std::optional<std::uint64_t> output,
                  std::optional<double> cost, const char* model, const char* uuid = nullptr,
                  const char* record_type = "assistant/usage") {
  Event e = event_of(Spec{.type = EventType::TokenUsage, .record_type = record_type, .line = 3, .record_id = uuid});
  Usage usage;
  usage.tokens.input = input;
  usage.tokens.output = output;
  usage.cost_usd = cost;
  e.facts.usage = usage;
  if (model) e.facts.model = model;
  return e;
}

TEST(CountRule, TokensAndCostAddUpOnceAndSayWhatWasNotPriced) {
  std::vector<Event> events = {usage_event(10, 5, 0.25, "claude-sonnet-4-6", "a1"),
                               usage_event(7, 3, std::nullopt, "gpt-9", "a2"),
                               usage_event(1, std::nullopt, std::nullopt, nullptr, "a3"),
                               usage_event(100, 100, 9.0, "claude-sonnet-4-6", "a1")};  // the same record again
  events[3].source.line_number = 40;
  events[2].facts.usage->recorded_cost_usd = 0.5;
  const Counts counts = count_events(std::span<const Event>(events));
  EXPECT_EQ(counts.tokens.input, 18u);
  EXPECT_EQ(counts.tokens.output, 8u);
  EXPECT_EQ(counts.tokens.cache_read, std::nullopt);
  EXPECT_EQ(counts.tokens.total(), 26u);
  EXPECT_EQ(counts.cost.estimated_usd, 0.25);
  EXPECT_EQ(counts.cost.recorded_usd, 0.5);
  EXPECT_EQ(counts.cost.unpriced_tokens, 11u);
  EXPECT_EQ(counts.cost.unpriced_models, (std::vector<std::string>{"", "gpt-9"}));
  EXPECT_FALSE(counts.tokens.saturated);
}

TEST(TokenTotals, SumsSaturateInsteadOfWrapping) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  struct Row {
    std::vector<std::uint64_t> amounts;
    std::uint64_t sum;
    bool saturated;
  };
  const Row rows[] = {{{1, 2, 3}, 6, false},
                      {{kMax - 1, 1}, kMax, false},
                      {{kMax, 1}, kMax, true},
                      {{kMax - 5, 3, 3, 100}, kMax, true},
                      {{kMax / 2 + 1, kMax / 2 + 1}, kMax, true}};
  for (const Row& row : rows) {
    TokenTotals totals;
    for (const std::uint64_t amount : row.amounts) totals.add(TokenAmounts{.output = amount});
    EXPECT_EQ(totals.output, row.sum);
    EXPECT_EQ(totals.saturated, row.saturated);
    TokenTotals merged;
    merged.add(totals);
    EXPECT_EQ(merged.saturated, row.saturated);
  }
  TokenTotals read;
  read.add(TokenAmounts{.input = kMax, .cache_read = 1});
  EXPECT_FALSE(read.saturated);  // each kind fits; the sum of them does not
  EXPECT_EQ(read.read(), kMax);
  EXPECT_TRUE(read.saturated_anywhere());
  EXPECT_FALSE(TokenTotals{}.saturated_anywhere());
  CostTotals cost;
  Usage usage;
  usage.tokens = TokenAmounts{.input = kMax, .output = kMax};
  cost.add(usage, OptionalShared("m"));
  EXPECT_EQ(cost.unpriced_tokens, kMax);
  EXPECT_TRUE(cost.saturated);
}

}  // namespace
}  // namespace vt
