// The session model the reports render: copies shown once with their other
// places, turns where the count rule counts typed prompts (editor files of a
// prompt's record after it), results tied to calls by call id, sub-agent
// threads tied to the calls that started them, titles, the sessions known
// only from the prompt history, and a resumed conversation's file on one
// page with links both ways.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/counting.hpp"
#include "core/driver.hpp"
#include "core_temp_tree.hpp"
#include "output/session_report/session_model.hpp"

namespace {

using vt::Event;
using vt::EventType;
using vt::report::ItemKind;

struct Spec {
  EventType type;
  std::string record_type;
  std::string message;
  std::string file = "projects/-w/s1.jsonl";
  std::uint64_t line = 1;
  std::string copy_of = "";
  vt::ArtifactKind artifact = vt::ArtifactKind::Transcript;
  std::optional<vt::PromptOrigin> origin = std::nullopt;
  std::string call_id = "";  // a call's or a result's tool call id
};

vt::Report report_of(const std::vector<Spec>& specs) {
  vt::Report report;
  std::uint64_t n = 0;
  for (const Spec& spec : specs) {
    Event& event = report.events.emplace_back();
    event.event_id = "id" + std::to_string(n++);
    event.provider = vt::Provider::ClaudeCode;
    event.event_type = spec.type;
    event.session_id = "s1";
    event.source.artifact_kind = spec.artifact;
    event.source.record_type = spec.record_type;
    event.source.relative_path = spec.file;
    event.source.line_number = spec.line;
    event.message = spec.message;
    event.origin = spec.origin;
    if (!spec.copy_of.empty()) event.copy_of = spec.copy_of;
    if (!spec.call_id.empty()) event.facts.tool_call_id = spec.call_id;
  }
  return report;
}

std::vector<vt::report::Session> sessions_of(const std::vector<Spec>& specs, bool redact = false) {
  return vt::report::build_sessions(report_of(specs), vt::report::ModelOptions{redact}).sessions;
}

// Every item of a session in order: "kind:label:places" (threads as "@N"/"#N").
std::vector<std::string> outline(const vt::report::Session& session) {
  std::vector<std::string> lines;
  for (const auto& turn : session.turns) {
    for (const auto& item : turn.items) {
      std::string line = std::to_string(turn.number) + " " + std::string(vt::report::kind_label(item.kind));
      if (!item.label.empty()) line += ":" + item.label;
      line += " x" + std::to_string(item.places.size());
      for (const auto& result : item.results) line += " r" + std::to_string(result.places.size());
      if (item.launches) line += " @" + std::to_string(item.launches);
      if (item.thread) line += " #" + std::to_string(item.thread);
      lines.push_back(line);
    }
  }
  return lines;
}

const vt::PromptOrigin kTyped = vt::PromptOrigin::Typed;

TEST(SessionModel, CopiesAreOnePlaceMoreAndCountNowhere) {
  const auto sessions = sessions_of({
      {EventType::PromptInput, "user/text", "fix it", "projects/-w/s1.jsonl", 1, "", vt::ArtifactKind::Transcript, kTyped},
      {EventType::ToolCall, "assistant/tool_use", "Bash: ls", "projects/-w/s1.jsonl", 2, "", {}, {}, "t1"},
      {EventType::ToolResult, "user/tool_result", "a b", "projects/-w/s1.jsonl", 3, "", {}, {}, "t1"},
      // The same three records again (a replay, a second input): copies.
      {EventType::PromptInput, "user/text", "fix it", "projects/-w/s1.jsonl", 4, "id0", vt::ArtifactKind::Transcript, kTyped},
      {EventType::ToolCall, "assistant/tool_use", "Bash: ls", "projects/-w/s1.jsonl", 5, "id1", {}, {}, "t1"},
      {EventType::ToolResult, "user/tool_result", "a b", "projects/-w/s1.jsonl", 6, "id2", {}, {}, "t1"},
      // A copy of a copy joins the first occurrence too.
      {EventType::ToolCall, "assistant/tool_use", "Bash: ls", "projects/-w/s1.jsonl", 7, "id4", {}, {}, "t1"},
      // A copy whose first occurrence is elsewhere still shows.
      {EventType::AgentMessage, "assistant/text", "hello", "projects/-w/s1.jsonl", 8, "elsewhere"},
  });
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].counts.typed_prompts, 1u);
  EXPECT_EQ(sessions[0].counts.tool_calls, 1u);
  EXPECT_EQ(sessions[0].counts.agent_messages, 0u);
  EXPECT_EQ(sessions[0].events, 8u);
  EXPECT_EQ(outline(sessions[0]), (std::vector<std::string>{
                                      "1 prompt x2", "1 tool x3 r2", "1 record:copy of an event read elsewhere x1"}));
}

TEST(SessionModel, EditorFilesGoAfterThePromptOfTheirRecord) {
  const auto ide = vt::PromptOrigin::Injected;
  const auto sessions = sessions_of({
      {EventType::PromptInput, "user/text", "first", "projects/-w/s1.jsonl", 1, "", vt::ArtifactKind::Transcript, kTyped},
      // One message: two editor blocks, then the typed text; one prompt.
      {EventType::PromptInput, "user/ide_context",
       "<ide_opened_file>The user opened the file /src/app/main.go in the IDE. This may or may not be related.</ide_opened_file>",
       "projects/-w/s1.jsonl", 2, "", vt::ArtifactKind::Transcript, ide},
      {EventType::PromptInput, "user/ide_context", "<ide_selection>The user selected the lines 1 to 2 from C:\\w\\util.py:\nx = 1",
       "projects/-w/s1.jsonl", 2, "", vt::ArtifactKind::Transcript, ide},
      {EventType::PromptInput, "user/text", "second", "projects/-w/s1.jsonl", 2, "", vt::ArtifactKind::Transcript, kTyped},
      {EventType::PromptInput, "user/text", "more of the second", "projects/-w/s1.jsonl", 2, "", vt::ArtifactKind::Transcript, kTyped},
      // A copy of the first editor block joins it (and moves with it).
      {EventType::PromptInput, "user/ide_context", "<ide_opened_file>…", "projects/-w/s1.jsonl", 9, "id1",
       vt::ArtifactKind::Transcript, ide},
      // A record of editor blocks alone is no prompt: it stays in the turn it falls in.
      {EventType::PromptInput, "user/ide_context",
       "<ide_opened_file>The user opened the file /b.rs in the IDE.</ide_opened_file>", "projects/-w/s1.jsonl", 3, "",
       vt::ArtifactKind::Transcript, ide},
      {EventType::PromptInput, "user/text", "third", "projects/-w/s1.jsonl", 4, "", vt::ArtifactKind::Transcript, kTyped},
  });
  EXPECT_EQ(sessions[0].counts.typed_prompts, 3u);
  EXPECT_EQ(sessions[0].counts.injected_prompts, 1u);
  EXPECT_EQ(outline(sessions[0]), (std::vector<std::string>{
                                      "1 prompt x1", "2 prompt x1", "2 attached:IDE: opened file main.go x2",
                                      "2 attached:IDE: selection in util.py x1", "2 prompt x1",
                                      "2 attached:IDE: opened file b.rs x1", "3 prompt x1"}));
  EXPECT_EQ(sessions[0].turns[1].number, 2u);
  EXPECT_EQ(sessions[0].turns[1].preview, "second");
  EXPECT_EQ(sessions[0].turns[1].counts.typed_prompts, 1u);
}

TEST(SessionModel, SubAgentThreadsGoUnderTheCallsThatStartedThem) {
  const std::string a = "projects/-w/s1/subagents/agent-a.jsonl", b = "projects/-w/s1/subagents/agent-b.jsonl";
  const auto sessions = sessions_of({
      {EventType::PromptInput, "user/text", "go", "projects/-w/s1.jsonl", 1, "", vt::ArtifactKind::Transcript, kTyped},
      {EventType::ToolCall, "assistant/tool_use", "Task: look around", "projects/-w/s1.jsonl", 2, "", {}, {}, "t1"},
      {EventType::ToolCall, "assistant/tool_use", "Agent: read docs", "projects/-w/s1.jsonl", 2, "", {}, {}, "t2"},
      {EventType::ToolCall, "assistant/tool_use", "Taskmaster: no sub-agent", "projects/-w/s1.jsonl", 2, "", {}, {}, "t3"},
      {EventType::PromptInput, "sidechain/user/text", "look around", a, 1},
      {EventType::PromptInput, "sidechain/user/text", "read docs", b, 1},
      {EventType::ToolCall, "sidechain/assistant/tool_use", "Bash: ls", a, 2},
      {EventType::ToolCall, "sidechain/assistant/tool_use", "Read: README", b, 2},
      {EventType::ToolResult, "user/tool_result", "done a", "projects/-w/s1.jsonl", 3, "", {}, {}, "t1"},
      // A result without a call id is tied to no call (no guess).
      {EventType::ToolResult, "user/tool_result", "whose?", "projects/-w/s1.jsonl", 3},
      // After its call has its result, the same file starts no thread of a
      // finished call: the next free call's (none here).
      {EventType::AgentMessage, "sidechain/assistant/text", "late", a, 3},
  });
  EXPECT_EQ(outline(sessions[0]), (std::vector<std::string>{
                                      "1 prompt x1", "1 tool x1 r1 @1", "1 tool x1 @2", "1 tool x1",
                                      "1 agent:sub-agent prompt x1 #1", "1 agent:sub-agent prompt x1 #2",
                                      "1 tool x1 #1", "1 tool x1 #2", "1 result:result x1", "1 agent x1"}));
}

struct TitleCase {
  std::vector<Spec> specs;
  bool redact;
  std::string title;
  bool history_only;
  std::uint64_t prompts;
};

class SessionTitle : public ::testing::TestWithParam<TitleCase> {};

TEST_P(SessionTitle, TitleAndHistory) {
  const auto sessions = sessions_of(GetParam().specs, GetParam().redact);
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].title, GetParam().title);
  EXPECT_EQ(sessions[0].history_only, GetParam().history_only);
  EXPECT_EQ(sessions[0].counts.typed_prompts, GetParam().prompts);
}

const Spec kFirst{EventType::PromptInput, "user/text", "\n  make   the\tparser\r\nfaster please", "projects/-w/s1.jsonl", 1,
                  "", vt::ArtifactKind::Transcript, kTyped};
const Spec kAiTitle{EventType::TaskState, "ai-title", "Speed up the parser"};
const Spec kCustomTitle{EventType::TaskState, "custom-title", "parser-speed"};

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionTitle,
    ::testing::Values(
        TitleCase{{kFirst}, false, "make the parser", false, 1},
        TitleCase{{kFirst, kAiTitle}, false, "Speed up the parser", false, 1},
        TitleCase{{kCustomTitle, kFirst, kAiTitle}, false, "parser-speed", false, 1},
        TitleCase{{kFirst, kAiTitle}, true,
                  // sha256 of "Speed up the parser"
                  "[redacted: 19 bytes, sha256 f4df025cfbe3b068a9f52d44512f591b14f720de25b39eab941b8006faec5a81]",
                  false, 1},
        TitleCase{{{EventType::PromptInput, "history", "/clear", "history.jsonl", 1, "", vt::ArtifactKind::History,
                    vt::PromptOrigin::Command},
                   {EventType::PromptInput, "history", "what changed?", "history.jsonl", 2, "", vt::ArtifactKind::History,
                    kTyped}},
                  false, "what changed?", true, 1}));

}  // namespace

namespace {

// Events that carry the facts of the full reading (no raw record kept).
vt::Event with_facts(vt::Provider provider, EventType type, std::string record_type, std::string message,
                     std::uint64_t line) {
  vt::Event event;
  event.event_id = "f" + std::to_string(line) + record_type;
  event.provider = provider;
  event.event_type = type;
  event.session_id = "s2";
  event.source.artifact_kind = provider == vt::Provider::Codex ? vt::ArtifactKind::Session : vt::ArtifactKind::Transcript;
  event.source.record_type = record_type;
  event.source.relative_path = "f.jsonl";
  event.source.line_number = line;
  event.message = message;
  if (type == EventType::PromptInput) event.origin = vt::PromptOrigin::Typed;
  return event;
}

vt::Usage usage(std::uint64_t input, std::uint64_t output, std::optional<double> cost) {
  vt::Usage u;
  u.tokens.input = input;
  u.tokens.output = output;
  u.cost_usd = cost;
  return u;
}

TEST(SessionModelFacts, CallsResultsTokensAndCostFromTheFacts) {
  for (const vt::Provider provider : {vt::Provider::ClaudeCode, vt::Provider::Codex}) {
    const bool codex = provider == vt::Provider::Codex;
    vt::Report report;
    auto add = [&](EventType type, std::string rtype, std::string message) -> vt::Event& {
      report.events.push_back(with_facts(provider, type, std::move(rtype), std::move(message), report.events.size() + 1));
      return report.events.back();
    };
    add(EventType::PromptInput, codex ? "event_msg/user_message" : "user/text", "go").facts.git_branch = "main";
    for (const char* id : {"c1", "c2"}) {
      vt::Event& call = add(EventType::ToolCall, codex ? "response_item/function_call" : "assistant/tool_use",
                            codex ? "exec_command" : std::string("Bash: run ") + id);
      call.facts.tool_call_id = id;
      call.facts.tool_name = codex ? "exec_command" : "Bash";
      call.facts.tool_input = std::string("run ") + id;
    }
    // Results in the opposite order, tied by the call id alone.
    for (const char* id : {"c2", "c1"}) {
      vt::Event& result = add(EventType::ToolResult, codex ? "response_item/function_call_output" : "user/tool_result",
                              std::string("out ") + id);
      result.facts.tool_call_id = id;
      if (std::string(id) == "c2") {
        result.facts.exit_code = 3;
        result.facts.tool_error = true;
      }
    }
    for (const double cost : {0.5, 0.25}) {
      vt::Event& used = add(EventType::TokenUsage, codex ? "event_msg/token_count" : "assistant/usage", "");
      used.facts.model = "model-x";
      used.facts.usage.emplace(usage(10, 5, cost));
      used.source.source_id = "m" + std::to_string(report.events.size());
    }
    const auto sessions = vt::report::build_sessions(report, {}).sessions;
    ASSERT_EQ(sessions.size(), 1u);
    const auto& session = sessions[0];
    EXPECT_EQ(session.git_branches, std::vector<std::string>{"main"});
    EXPECT_EQ(session.models, std::vector<std::string>{"model-x"});
    EXPECT_EQ(session.counts.tokens.input, 20u);
    EXPECT_EQ(session.counts.tokens.output, 10u);
    ASSERT_TRUE(session.counts.cost.estimated_usd.has_value());
    EXPECT_DOUBLE_EQ(*session.counts.cost.estimated_usd, 0.75);
    EXPECT_EQ(session.turns.back().counts.tool_calls, 2u);
    const auto& items = session.turns.back().items;
    ASSERT_GE(items.size(), 3u);
    for (std::size_t c = 0; c < 2; ++c) {
      const auto& call = items[1 + c];
      EXPECT_EQ(call.body.text, (codex ? "exec_command: run c" : "Bash: run c") + std::to_string(c + 1));
      ASSERT_EQ(call.results.size(), 1u);
      EXPECT_EQ(call.results[0].body.text, "out c" + std::to_string(c + 1));
    }
    if (codex) EXPECT_EQ(items[2].results[0].label, "error \xC2\xB7 exit 3");
  }
}

}  // namespace

namespace {

// Another agent's events, read from their fields and facts alone.
TEST(SessionModelFacts, OtherAgentsFromTheirFactsAlone) {
  vt::Report report;
  auto add = [&](EventType type, std::string message, vt::ArtifactKind artifact = vt::ArtifactKind::Unknown,
                 std::optional<vt::PromptOrigin> origin = std::nullopt) -> vt::Event& {
    vt::Event event = with_facts(vt::Provider::GeminiCli, type, "gemini/record", std::move(message),
                                 report.events.size() + 1);
    event.source.artifact_kind = artifact;
    event.origin = origin;
    report.events.push_back(std::move(event));
    return report.events.back();
  };
  add(EventType::PromptInput, "/stats", vt::ArtifactKind::Unknown, vt::PromptOrigin::Command);
  add(EventType::PromptInput, "fix it", vt::ArtifactKind::Unknown, vt::PromptOrigin::Typed);
  add(EventType::PromptInput, "fix it", vt::ArtifactKind::History, vt::PromptOrigin::Typed);  // the history's copy
  add(EventType::AgentMessage, "on it");
  add(EventType::AgentMessage, "on it");  // written twice in the turn: one item
  for (const char* id : {"g1", "g2"}) {
    vt::Event& call = add(EventType::ToolCall, "run_shell_command");
    call.facts.tool_name = "run_shell_command";
    call.facts.tool_input = std::string("ls ") + id;
    call.facts.tool_call_id = id;
  }
  vt::Event& late = add(EventType::ToolResult, "two");
  late.facts.tool_call_id = "g2";
  late.facts.tool_error = true;
  late.facts.exit_code = 2;
  add(EventType::ToolResult, "one").facts.tool_call_id = "g1";
  add(EventType::ToolResult, "no id");  // no call id: stands alone
  add(EventType::TokenUsage, "").facts.usage.emplace(usage(7, 3, 0.01));
  add(EventType::PromptInput, "again", vt::ArtifactKind::Unknown, vt::PromptOrigin::Typed);
  const auto sessions = vt::report::build_sessions(report, {}).sessions;
  ASSERT_EQ(sessions.size(), 1u);
  const auto& session = sessions[0];
  EXPECT_FALSE(session.history_only);
  EXPECT_EQ(session.counts.typed_prompts, 2u);
  EXPECT_EQ(session.counts.command_prompts, 1u);
  EXPECT_EQ(session.counts.tool_calls, 2u);
  EXPECT_EQ(session.counts.tokens.input, 7u);
  EXPECT_EQ(session.title, "fix it");
  EXPECT_EQ(outline(session), (std::vector<std::string>{"0 context:command x1", "1 prompt x2", "1 agent x2",
                                                        "1 tool x1 r1", "1 tool x1 r1", "1 result:result x1",
                                                        "1 record:usage x1", "2 prompt x1"}));
  EXPECT_EQ(session.turns[1].items[3].body.text, "run_shell_command: ls g2");
  EXPECT_EQ(session.turns[1].items[3].results[0].label, "error \xC2\xB7 exit 2");
}

}  // namespace
