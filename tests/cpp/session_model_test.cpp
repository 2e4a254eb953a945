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

vt::Report report_of(const std::vector<Spec>& specs, vt::Provider provider) {
  vt::Report report;
  std::uint64_t n = 0;
  for (const Spec& spec : specs) {
    Event& event = report.events.emplace_back();
    event.event_id = "id" + std::to_string(n++);
    event.provider = provider;
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

std::vector<vt::report::Session> sessions_of(const std::vector<Spec>& specs, bool redact = false,
                                             vt::Provider provider = vt::Provider::ClaudeCode) {
  return vt::report::build_sessions(report_of(specs, provider), vt::report::ModelOptions{redact}).sessions;
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
      // After its call has its result, the same file starts no thread of a
      // finished call: the next free call's (none here).
      {EventType::AgentMessage, "sidechain/assistant/text", "late", a, 3},
  });
  EXPECT_EQ(outline(sessions[0]), (std::vector<std::string>{
                                      "1 prompt x1", "1 tool x1 r1 @1", "1 tool x1 @2", "1 tool x1",
                                      "1 agent:sub-agent prompt x1 #1", "1 agent:sub-agent prompt x1 #2",
                                      "1 tool x1 #1", "1 tool x1 #2", "1 agent x1"}));
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

// Any other agent's prompts and answers: a command apart, the history's
// copy of a prompt one more place of it, a text written twice one item.
TEST(SessionModel, OtherAgentsPromptsAndAnswers) {
  const auto other = vt::ArtifactKind::Unknown;
  const auto sessions = sessions_of(
      {
          {EventType::PromptInput, "gemini/record", "/stats", "f.jsonl", 1, "", other, vt::PromptOrigin::Command},
          {EventType::PromptInput, "gemini/record", "fix it", "f.jsonl", 2, "", other, kTyped},
          {EventType::PromptInput, "gemini/record", "fix it", "f.jsonl", 3, "", vt::ArtifactKind::History, kTyped},
          {EventType::AgentMessage, "gemini/record", "on it", "f.jsonl", 4, "", other},
          {EventType::AgentMessage, "gemini/record", "on it", "f.jsonl", 5, "", other},
          {EventType::PromptInput, "gemini/record", "again", "f.jsonl", 6, "", other, kTyped},
      },
      false, vt::Provider::GeminiCli);
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_FALSE(sessions[0].history_only);
  EXPECT_EQ(sessions[0].counts.typed_prompts, 2u);
  EXPECT_EQ(sessions[0].counts.command_prompts, 1u);
  EXPECT_EQ(sessions[0].title, "fix it");
  EXPECT_EQ(outline(sessions[0]),
            (std::vector<std::string>{"0 context:command x1", "1 prompt x2", "1 agent x2", "2 prompt x1"}));
}

// Calls, results, tokens and cost from the facts the readers fill (no raw
// record kept), for each way of building a session's items.
TEST(SessionModel, CallsResultsTokensAndCostFromTheFacts) {
  struct Shape {
    vt::Provider provider;
    const char *prompt, *call, *result, *usage, *usage_label;
  };
  const Shape shapes[] = {
      {vt::Provider::ClaudeCode, "user/text", "assistant/tool_use", "user/tool_result", "assistant/usage", "usage"},
      {vt::Provider::Codex, "event_msg/user_message", "response_item/function_call",
       "response_item/function_call_output", "event_msg/token_count", "token count"},
      {vt::Provider::GeminiCli, "gemini/record", "gemini/record", "gemini/record", "gemini/record", "usage"},
  };
  for (const Shape& shape : shapes) {
    const std::string name(vt::wire_name(shape.provider));
    const bool claude = shape.provider == vt::Provider::ClaudeCode;
    vt::Report report;
    auto add = [&](EventType type, const char* record_type, std::string message) -> Event& {
      Event& event = report.events.emplace_back();
      event.event_id = "f" + std::to_string(report.events.size());
      event.provider = shape.provider;
      event.event_type = type;
      event.session_id = "s2";
      event.source.artifact_kind = shape.provider == vt::Provider::Codex ? vt::ArtifactKind::Session : vt::ArtifactKind::Transcript;
      event.source.record_type = record_type;
      event.source.relative_path = "f.jsonl";
      event.source.line_number = report.events.size();
      event.message = std::move(message);
      if (type == EventType::PromptInput) event.origin = kTyped;
      return event;
    };
    add(EventType::PromptInput, shape.prompt, "go").facts.git_branch = "main";
    for (const std::string id : {"c1", "c2"}) {
      // Claude's reader writes the call's line as its message; the others' lines come from the facts.
      Event& call = add(EventType::ToolCall, shape.call, claude ? "sh: run " + id : "sh");
      call.facts.tool_call_id = id;
      call.facts.tool_name = "sh";
      call.facts.tool_input = "run " + id;
    }
    // Results in the opposite order, tied by the call id alone; one without an id stands alone.
    for (const std::string id : {"c2", "c1", ""}) {
      Event& result = add(EventType::ToolResult, shape.result, id.empty() ? "whose?" : "out " + id);
      if (!id.empty()) result.facts.tool_call_id = id;
      if (id == "c2") {
        result.facts.exit_code = 3;
        result.facts.tool_error = true;
      }
    }
    for (const double cost : {0.5, 0.25}) {
      Event& used = add(EventType::TokenUsage, shape.usage, "");
      used.facts.model = "model-x";
      used.facts.usage.emplace();
      used.facts.usage->tokens.input = 10;
      used.facts.usage->tokens.output = 5;
      used.facts.usage->cost_usd = cost;
      used.source.source_id = "m" + std::to_string(report.events.size());
    }
    const auto sessions = vt::report::build_sessions(report, {}).sessions;
    ASSERT_EQ(sessions.size(), 1u) << name;
    const auto& session = sessions[0];
    EXPECT_EQ(session.git_branches, std::vector<std::string>{"main"}) << name;
    EXPECT_EQ(session.models, std::vector<std::string>{"model-x"}) << name;
    EXPECT_EQ(session.counts.tokens.input, 20u) << name;
    EXPECT_EQ(session.counts.tokens.output, 10u) << name;
    EXPECT_EQ(session.counts.cost.estimated_usd, 0.75) << name;
    EXPECT_EQ(session.turns.back().counts.tool_calls, 2u) << name;
    const std::string usage = std::string("1 record:") + shape.usage_label + " x1";
    EXPECT_EQ(outline(session), (std::vector<std::string>{"1 prompt x1", "1 tool x1 r1", "1 tool x1 r1",
                                                          "1 result:result x1", usage, usage}))
        << name;
    const auto& items = session.turns.back().items;
    ASSERT_EQ(items.size(), 6u) << name;
    for (std::size_t c = 0; c < 2; ++c) {
      EXPECT_EQ(items[1 + c].body.text, "sh: run c" + std::to_string(c + 1)) << name;
      EXPECT_EQ(items[1 + c].results[0].body.text, "out c" + std::to_string(c + 1)) << name;
    }
    EXPECT_EQ(items[2].results[0].label, "error \xC2\xB7 exit 3") << name;
  }
}

}  // namespace
