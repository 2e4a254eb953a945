// The Copilot CLI reader's facts, which no rendering shows yet: tool names
// and call ids linking calls, starts and results, models, token amounts
// (per message, and a shutdown's stated totals less what the messages gave),
// the legacy document's copies, and the command history matched to prompts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_temp_tree.hpp"
#include "full_reading.hpp"

namespace {

using vt_test::amount;

// "{type} {record type} [{message}] tool={name}#{id} model={m} tokens={in}/{out} copy" (parts when set).
std::string shown(const vt::Event& e, const vt::Report& report) {
  std::string text = std::string(vt::wire_name(e.event_type)) + " " + e.source.record_type.value_or("-");
  if (e.message) text += " [" + e.message->str().substr(0, 80) + "]";
  if (e.facts.tool_name || e.facts.tool_call_id) {
    text += " tool=" + e.facts.tool_name.value_or("") + "#" + e.facts.tool_call_id.value_or("");
  }
  if (e.facts.tool_error) text += *e.facts.tool_error ? " failed" : " ok";
  if (e.facts.model) text += " model=" + e.facts.model->str();
  if (e.facts.usage) {
    const vt::TokenAmounts& t = e.facts.usage->tokens;
    text += " tokens=" + amount(t.input) + "/" + amount(t.cache_read) + "/" + amount(t.output);
  }
  if (const vt::Event* first = e.copy_of ? vt_test::by_id(report, e.copy_of->str()) : nullptr) {
    text += " copy-of:" + std::string(vt::wire_name(first->event_type));
  }
  return text;
}

std::vector<std::string> read_all(const std::filesystem::path& path) {
  return vt_test::listed(vt_test::run_full(path), shown);
}

std::string record(const std::string& type, const std::string& data, int n) {
  return R"({"type":")" + type + R"(","data":)" + data + R"(,"id":"r)" + std::to_string(n) +
         R"(","timestamp":"2026-03-20T20:47:0)" + std::to_string(n % 10) + R"(.000Z","parentId":null})";
}

struct LogCase {
  std::string name;
  std::vector<std::pair<std::string, std::string>> records;  // type, data
  std::vector<std::string> expected;
};

class CopilotLog : public ::testing::TestWithParam<LogCase> {};

TEST_P(CopilotLog, RecordsBecomeEventsWithTheirFacts) {
  vt_test::TempTree tree;
  std::string text;
  int n = 0;
  for (const auto& [type, data] : GetParam().records) text += record(type, data, n++) + "\n";
  tree.file(".copilot/session-state/s1/events.jsonl", text);
  EXPECT_EQ(read_all(tree / ".copilot/session-state/s1/events.jsonl"), GetParam().expected);
}

const std::string kStart =
    R"({"sessionId":"s1","copilotVersion":"1.0.10","selectedModel":"m-a","context":{"cwd":"/w","branch":"b"}})";

INSTANTIATE_TEST_SUITE_P(
    Shapes, CopilotLog,
    ::testing::Values(
        LogCase{"call_start_complete_linked",
                {{"session.start", kStart},
                 {"assistant.message",
                  R"({"messageId":"m1","content":"looking","toolRequests":[{"toolCallId":"c1","name":"view","arguments":{"path":"/w/a"}}],"outputTokens":12,"reasoningText":"think"})"},
                 {"tool.execution_start", R"({"toolCallId":"c1","toolName":"view","arguments":{"path":"/w/a"}})"},
                 {"tool.execution_complete", R"({"toolCallId":"c1","success":false,"error":{"message":"nope"}})"}},
                {"session_start session.start [Copilot CLI 1.0.10] model=m-a",
                 "agent_reasoning assistant.message [think] model=m-a",
                 "agent_message assistant.message [looking] model=m-a",
                 "tool_call assistant.message [view: /w/a] tool=view#c1 model=m-a",
                 "token_usage assistant.message [m-a: output 12] model=m-a tokens=-/-/12",
                 "task_state tool.execution_start [view: /w/a] tool=view#c1 model=m-a",
                 "tool_result tool.execution_complete [nope] tool=view#c1 failed"}},
        LogCase{"start_without_request_is_the_call",
                {{"tool.execution_start", R"({"toolCallId":"c9","toolName":"bash","arguments":{"command":"ls"}})"},
                 {"tool.execution_complete", R"({"toolCallId":"c9","success":true,"result":{"content":"a b"}})"}},
                {"tool_call tool.execution_start [bash: ls] tool=bash#c9",
                 "tool_result tool.execution_complete [a b] tool=bash#c9 ok"}},
        LogCase{"model_change_then_shutdown_counts_output_once",
                {{"session.model_change", R"({"previousModel":"m-a","newModel":"m-b"})"},
                 {"assistant.message", R"({"messageId":"m1","content":"x","toolRequests":[],"outputTokens":30})"},
                 {"assistant.message", R"({"messageId":"m2","content":"y","toolRequests":[],"outputTokens":10})"},
                 {"session.shutdown",
                  R"({"shutdownType":"routine","modelMetrics":{"m-b":{"usage":{"inputTokens":500,"outputTokens":100,"cacheReadTokens":7}}}})"}},
                {"task_state session.model_change [m-b]",
                 "agent_message assistant.message [x] model=m-b",
                 "token_usage assistant.message [m-b: output 30] model=m-b tokens=-/-/30",
                 "agent_message assistant.message [y] model=m-b",
                 "token_usage assistant.message [m-b: output 10] model=m-b tokens=-/-/10",
                 "token_usage session.shutdown [m-b: input 500, cache read 7, output 100 (stated totals at shutdown)] model=m-b tokens=500/7/60"}},
        LogCase{"shutdown_after_resume_counts_its_own_run",
                {{"assistant.message", R"({"messageId":"m1","content":"x","model":"m-c","outputTokens":30})"},
                 {"session.resume", R"({"eventCount":3,"resumeTime":"2026-03-20T20:47:01Z"})"},
                 {"session.shutdown", R"({"tokenDetails":{"output":{"tokenCount":20}},"currentModel":"m-c","model":"m-c"})"}},
                {"agent_message assistant.message [x] model=m-c",
                 "token_usage assistant.message [m-c: output 30] model=m-c tokens=-/-/30",
                 "task_state session.resume [2026-03-20T20:47:01Z]",
                 "token_usage session.shutdown [m-c: output 20 (stated totals at shutdown)] model=m-c tokens=-/-/20"}},
        LogCase{"other_records_and_strangers",
                {{"user.message", R"({"content":"fix it\n\n<current_datetime>x</current_datetime>","attachments":[]})"},
                 {"system.message", R"({"role":"system","content":"You are"})"},
                 {"session.truncation",
                  R"({"tokenLimit":100,"preTruncationTokensInMessages":90,"postTruncationTokensInMessages":40})"},
                 {"session.error", R"({"errorType":"model_call","message":"400"})"},
                 {"brand.new", "{}"},
                 {"assistant.message", R"({"messageId":"m3","content":"","toolRequests":[]})"}},
                {"prompt_input user.message [fix it\n\n<current_datetime>x</current_datetime>]",
                 "developer_message system.message [You are]",
                 "context_compacted session.truncation [tokens 90 \xE2\x86\x92 40 of 100]",
                 "error session.error [400]", "unknown brand.new",
                 "agent_message assistant.message []"}},
        // Records newer versions keep in the log, read as what they say.
        LogCase{"newer_records",
                {{"assistant.reasoning", R"({"reasoningId":"r1","content":"weigh it"})"},
                 {"tool.user_requested", R"({"toolCallId":"u1","toolName":"bash","arguments":{"command":"ls"}})"},
                 {"tool.execution_start", R"({"toolCallId":"u1","toolName":"bash","arguments":{"command":"ls"}})"},
                 {"tool.execution_complete", R"({"toolCallId":"u1","success":false,"error":"denied"})"},
                 {"tool.execution_complete",
                  R"({"toolCallId":"u2","success":true,"result":{"contents":[{"type":"text","text":"a"},{"type":"image"},{"type":"text","text":"b"}]}})"},
                 {"session.compaction_start", "{}"},
                 {"session.compaction_complete", R"({"success":true,"summaryContent":"the story so far"})"},
                 {"subagent.started", R"({"toolCallId":"t1","agentName":"explore","agentDisplayName":"Explore"})"},
                 {"subagent.failed", R"({"toolCallId":"t1","agentName":"explore","error":"boom"})"},
                 {"session.shutdown", R"({"shutdownType":"error","errorReason":"crash","modelMetrics":{}})"}},
                {"agent_reasoning assistant.reasoning [weigh it]", "tool_call tool.user_requested [bash: ls] tool=bash#u1",
                 "task_state tool.execution_start [bash: ls] tool=bash#u1",
                 "tool_result tool.execution_complete [denied] tool=bash#u1 failed",
                 "tool_result tool.execution_complete [a\nb] tool=#u2 ok", "task_state session.compaction_start",
                 "context_compacted session.compaction_complete [the story so far]",
                 "task_state subagent.started [explore]", "error subagent.failed [boom]",
                 "task_state session.shutdown [error: crash]"}}),
    [](const ::testing::TestParamInfo<LogCase>& info) { return info.param.name; });

TEST(CopilotLegacy, ChatMessagesAreCopiesOfTheTimeline) {
  vt_test::TempTree tree;
  tree.file(".copilot/history-session-state/session_ab-12_1759669955294.json", R"({
    "sessionId": "ab-12", "startTime": "2025-10-05T13:12:35.294Z", "selectedModel": "gpt-5",
    "chatMessages": [
      {"role": "user", "content": "fix it\n\n<reminder>be quick</reminder>"},
      {"role": "assistant", "padding": "abc", "tool_calls": [
        {"id": "call_1", "type": "function", "function": {"name": "bash", "arguments": "{\"command\": \"ls\"}"}}]},
      {"role": "tool", "tool_call_id": "call_1", "content": "a.txt"},
      {"role": "assistant", "padding": "ab", "content": "done"},
      {"role": "user", "content": "never shown"}],
    "timeline": [
      {"id": "t1", "timestamp": "2025-10-05T13:14:00Z", "type": "user", "text": "fix it"},
      {"id": "t2", "timestamp": "2025-10-05T13:14:05Z", "type": "tool_call_completed", "callId": "call_1",
       "name": "bash", "arguments": {"command": "ls"}, "result": {"type": "success", "log": "a.txt"}},
      {"id": "t3", "timestamp": "2025-10-05T13:14:09Z", "type": "copilot", "text": "done"},
      {"id": "t4", "timestamp": "2025-10-05T13:14:10Z", "type": "wobble"},
      7]})");
  tree.file(".copilot/command-history-state.json", R"({"commandHistory": ["fix it", "/model", "fix it", 3]})");
  EXPECT_EQ(read_all(tree / ".copilot"),
            (std::vector<std::string>{
                "session_start session [Copilot CLI session] model=gpt-5",
                "prompt_input command_history [fix it] copy-of:prompt_input",
                "prompt_input timeline/user [fix it]",
                "prompt_input chat/user [fix it\n\n<reminder>be quick</reminder>] copy-of:prompt_input",
                "tool_call timeline/tool_call_completed [bash: ls] tool=bash#call_1 model=gpt-5",
                "tool_result timeline/tool_call_completed [a.txt] tool=bash#call_1 ok",
                "tool_call chat/assistant [bash: ls] tool=bash#call_1 model=gpt-5 copy-of:tool_call",
                "tool_result chat/tool [a.txt] tool=bash#call_1 copy-of:tool_result",
                // Repeats nothing: at the time of the part before it (a prompt
                // sorts first among events of one time).
                "prompt_input chat/user [never shown]",
                "agent_message timeline/copilot [done] model=gpt-5",
                "agent_message chat/assistant [done] model=gpt-5 copy-of:agent_message",
                "unknown timeline/wobble",
                "prompt_input command_history [/model]",
                "prompt_input command_history [fix it]",
                "diagnostic: Timeline entry 4 of the session document is not an object.",
                "diagnostic: Entry 3 of the command history is not a string."}));
}

}  // namespace
