// Gemini CLI reading as the outputs cannot show it yet: the facts each event
// carries (model, token amounts, tool name, call id, main argument, failure,
// record id), the copies marked among messages, files, prompt logs and shell
// history, the project paths recovered, and where a document's records start.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core_temp_tree.hpp"
#include "full_reading.hpp"
#include "hash/sha256.hpp"
#include "jsonl/element_lines.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader =
    R"({"sessionId":"s1","projectHash":"HASH","startTime":"2026-04-25T12:47:09.267Z","kind":"main"})";

std::string message(const std::string& id, const std::string& type, const std::string& rest,
                    const std::string& time = "2026-04-25T12:48:44.969Z") {
  return R"({"id":")" + id + R"(","timestamp":")" + time + R"(","type":")" + type + "\"" + rest + "}";
}

const std::string kTools =
    R"(,"toolCalls":[{"id":"grep_search_1_0","name":"grep_search","args":{"pattern":"levels","dir_path":"x"},)"
    R"("status":"success","timestamp":"2026-04-25T12:48:45Z","result":[{"functionResponse":{"id":"grep_search_1_0",)"
    R"("name":"grep_search","response":{"output":"found"}}}]},)"
    R"({"id":"run_shell_command_2_0","name":"run_shell_command","args":{"command":"npm test\nnpm run build"},)"
    R"("status":"cancelled","timestamp":"2026-04-25T12:48:46Z","result":[{"functionResponse":{"id":"run_shell_command_2_0",)"
    R"("name":"run_shell_command","response":{"error":"[Operation Cancelled]"}}}]}])";
const std::string kTokens = R"(,"tokens":{"input":6588,"output":26,"cached":6078,"thoughts":133,"tool":7,"total":6754})";

using vt_test::by_id;
using vt_test::run_full;
using vt_test::text;

TEST(GeminiCli, FactsOfAReplyAndItsToolCalls) {
  vt_test::TempTree tree;
  const vt::Report report = run_full(tree.file(
      ".gemini/tmp/p/chats/session-1.jsonl",
      std::string(kHeader) + "\n" + message("m1", "gemini", R"(,"content":"ok","model":"gemini-2.5-pro")" + kTools + kTokens) + "\n"));
  std::vector<std::string> rows;  // "type tool call-id input failed model record-id/source-id"
  for (const vt::Event& e : report.events) {
    if (e.event_type == vt::EventType::SessionStart) continue;
    const std::string failed = e.facts.tool_error ? (*e.facts.tool_error ? "failed" : "ok") : "-";
    rows.push_back(std::string(vt::wire_name(e.event_type)) + " " + text(e.facts.tool_name) + " " +
                   text(e.facts.tool_call_id) + " " + text(e.facts.tool_input) + " " + failed + " " +
                   text(e.facts.model) + " " + text(e.facts.record_id) + "/" + text(e.source.source_id));
  }
  // The calls at their own times, after the reply that asked for them.
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "agent_message - - - - gemini-2.5-pro m1/m1",
                      "token_usage - - - - gemini-2.5-pro m1/m1",
                      "tool_call grep_search grep_search_1_0 levels - gemini-2.5-pro m1/m1",
                      "tool_result grep_search grep_search_1_0 - ok gemini-2.5-pro m1/m1",
                      "tool_call run_shell_command run_shell_command_2_0 npm test npm run build - gemini-2.5-pro m1/m1",
                      "tool_result run_shell_command run_shell_command_2_0 - failed gemini-2.5-pro m1/m1"}));
}

TEST(GeminiCli, TokenAmountsByTheCountsPresent) {
  const std::vector<std::pair<std::string, vt::TokenAmounts>> cases = {
      // The cached part is inside Gemini's input, the tool-use prompt is not;
      // the thoughts are output too.
      {kTokens.substr(10), {6588 - 6078 + 7, std::nullopt, 6078, 26 + 133, 133}},
      {R"({"input":10,"cached":4,"output":1})", {6, std::nullopt, 4, 1, std::nullopt}},
      {R"({"input":3,"cached":9})", {0, std::nullopt, 9, std::nullopt, std::nullopt}},  // never below zero
      {R"({"output":5,"thoughts":2})", {std::nullopt, std::nullopt, std::nullopt, 7, 2}},
      {R"({"thoughts":2})", {std::nullopt, std::nullopt, std::nullopt, 2, 2}},
      {R"({"tool":8})", {8, std::nullopt, std::nullopt, std::nullopt, std::nullopt}},
      {R"({"input":-1,"output":"7"})", {}},  // counts that are not whole numbers say nothing
  };
  for (const auto& [tokens, expected] : cases) {
    vt_test::TempTree tree;
    const vt::Report report = run_full(tree.file(".gemini/tmp/p/chats/session-1.jsonl",
                                                 message("m", "gemini", R"(,"content":"x","tokens":)" + tokens) + "\n"));
    const auto usage = std::find_if(report.events.begin(), report.events.end(),
                                    [](const vt::Event& e) { return e.event_type == vt::EventType::TokenUsage; });
    ASSERT_NE(usage, report.events.end()) << tokens;
    EXPECT_EQ(usage->facts.usage ? usage->facts.usage->tokens : vt::TokenAmounts{}, expected) << tokens;
  }
}

TEST(GeminiCli, ReappendedReplyCountsOnceWithItsLastCopy) {
  vt_test::TempTree tree;
  const std::string first = message("m1", "gemini", R"(,"content":"ok","thoughts":[{"subject":"s","description":"d"}])" + kTokens);
  const std::string last = message("m1", "gemini", R"(,"content":"ok","thoughts":[{"subject":"s","description":"d"}])" + kTools + kTokens);
  // A restarted writer repeats the header: its message of the same id but
  // another time is another message; of the same time, the same one.
  const std::string later = message("m1", "gemini", R"(,"content":"ok")", "2026-04-25T13:00:00Z");
  const fs::path file = tree.file(".gemini/tmp/p/chats/session-1.jsonl",
                                  std::string(kHeader) + "\n" + first + "\n" + R"({"$set":{"lastUpdated":"x"}})" + "\n" +
                                      last + "\n" + kHeader + "\n" + later + "\n" + kHeader + "\n" + first + "\n");
  const vt::Report report = run_full(file);
  std::map<std::uint64_t, std::vector<const vt::Event*>> by_line;
  for (const vt::Event& e : report.events) by_line[*e.source.line_number].push_back(&e);
  ASSERT_EQ(by_line[2].size(), 3u);  // reasoning, text, usage
  ASSERT_EQ(by_line[4].size(), 7u);  // reasoning, text, two calls and results, usage
  for (const vt::Event* copy : by_line[2]) {
    ASSERT_TRUE(copy->copy_of) << vt::wire_name(copy->event_type);
    const vt::Event* counted = by_id(report, copy->copy_of->str());
    ASSERT_TRUE(counted);
    EXPECT_EQ(*counted->source.line_number, 4u);
    EXPECT_EQ(counted->event_type, copy->event_type);
    EXPECT_FALSE(counted->copy_of);
  }
  for (const vt::Event* e : by_line[4]) EXPECT_FALSE(e->copy_of);
  ASSERT_EQ(by_line[6].size(), 1u);
  EXPECT_FALSE(by_line[6][0]->copy_of);
  ASSERT_EQ(by_line[8].size(), 3u);
  for (const vt::Event* e : by_line[8]) EXPECT_TRUE(e->copy_of && by_id(report, e->copy_of->str())->source.line_number == 4u);
}

TEST(GeminiCli, SessionUnderHashAndNamedFolderCountsOnce) {
  vt_test::TempTree tree;
  const std::string path = "C:\\Users\\acodu\\dev\\dashboard_mictlan";
  const std::string hash = vt::hex_lower(vt::sha256_of(path));
  const std::string session = R"({"sessionId":"s1","projectHash":")" + hash + R"(","startTime":"2026-01-24T18:03:29.408Z","messages":[)" +
                              message("u1", "user", R"(,"content":"deploy")") + "," +
                              message("g1", "gemini", R"(,"content":"done","model":"gemini-2.5-pro")") + "]}";
  tree.file(".gemini/tmp/" + hash + "/chats/session-2026-01-24T18-03-s1.json", session);
  tree.file(".gemini/tmp/dashboard-mictlan/chats/session-2026-01-24T18-03-s1.json", session);
  // The named folder's copy holds one message more: only that one counts there.
  tree.file(".gemini/tmp/dashboard-mictlan/chats/session-2026-01-24T18-09-s1.json",
            R"({"sessionId":"s1","projectHash":")" + hash + R"(","startTime":"2026-01-24T18:03:29.408Z","messages":[)" +
                message("u1", "user", R"(,"content":"deploy")") + "," +
                message("u2", "user", R"(,"content":"again")", "2026-01-24T18:10:00Z") + "]}");
  tree.file(".gemini/tmp/dashboard-mictlan/.project_root", "c:\\users\\acodu\\dev\\dashboard_mictlan");
  tree.file(".gemini/projects.json", R"({"projects":{"c:\\users\\acodu\\dev\\dashboard_mictlan":"dashboard-mictlan"}})");
  const vt::Report report = run_full(tree / ".gemini");
  std::map<std::string, std::pair<int, int>> counted_and_copies;
  for (const vt::Event& e : report.events) {
    auto& slot = counted_and_copies[e.source.relative_path.str()];
    (e.copy_of ? slot.second : slot.first)++;
    // The hash folder's path is learnt from the named folder's sessions.
    EXPECT_EQ(text(e.working_directory), "c:\\users\\acodu\\dev\\dashboard_mictlan");
  }
  EXPECT_EQ(counted_and_copies["tmp/" + hash + "/chats/session-2026-01-24T18-03-s1.json"], std::make_pair(3, 0));
  EXPECT_EQ(counted_and_copies["tmp/dashboard-mictlan/chats/session-2026-01-24T18-03-s1.json"], std::make_pair(0, 3));
  EXPECT_EQ(counted_and_copies["tmp/dashboard-mictlan/chats/session-2026-01-24T18-09-s1.json"], std::make_pair(1, 2));
}

TEST(GeminiCli, ProjectPathFromEachSource) {
  const std::string path = "/home/anthonyguera/TP-Tutor";
  const std::string hash = vt::hex_lower(vt::sha256_of(path));
  struct Case {
    std::map<std::string, std::string> files;
    std::string expected;
  };
  const std::string log = R"([{"sessionId":"s","messageId":0,"type":"user","message":"hi","timestamp":"2026-04-25T00:25:47Z"}])";
  const std::vector<Case> cases = {
      {{{"tmp/tp-tutor/logs.json", log}, {"tmp/tp-tutor/.project_root", path + "\n"}}, path},
      {{{"tmp/tp-tutor/logs.json", log}, {"projects.json", R"({"projects":{")" + path + R"(":"tp-tutor"}})"}}, path},
      {{{"tmp/tp-tutor/logs.json", log}, {"history/tp-tutor/.project_root", path}}, path},
      {{{"tmp/" + hash + "/logs.json", log}, {"history/tp-tutor/.project_root", path}}, path},  // by its hash
      {{{"tmp/" + hash + "/logs.json", log}}, "-"},
      {{{"tmp/tp-tutor/logs.json", log}, {"projects.json", "{not json"}}, "-"},
  };
  for (const Case& c : cases) {
    vt_test::TempTree tree;
    for (const auto& [rel, body] : c.files) tree.file(".gemini/" + rel, body);
    const vt::Report report = run_full(tree / ".gemini");
    ASSERT_EQ(report.events.size(), 1u);
    EXPECT_EQ(text(report.events[0].working_directory), c.expected) << c.files.begin()->first;
  }
}

TEST(GeminiCli, LoggedPromptsAndShellLinesAreCopiesOfWhatTheSessionHolds) {
  vt_test::TempTree tree;
  tree.file(".gemini/tmp/p/chats/session-1.json",
            R"({"sessionId":"s1","projectHash":"h","startTime":"2025-10-30T23:47:38.483Z","messages":[)" +
                message("u1", "user", R"(,"content":"q")", "2025-10-30T23:47:57.630Z") + "," +
                message("u2", "user", R"(,"content":"q")", "2025-10-30T23:48:31.658Z") + "," +
                message("u3", "user", R"(,"content":"r")", "2025-10-30T23:50:00Z") + "," +
                message("u4", "user", R"(,"content":"t")", "2025-10-30T23:50:00Z") + "]}");
  tree.file(".gemini/tmp/p/logs.json",
            R"([{"sessionId":"s1","messageId":0,"type":"user","message":"q","timestamp":"2025-10-30T23:47:57.611Z"},)"
            R"({"sessionId":"s1","messageId":1,"type":"user","message":"q","timestamp":"2025-10-30T23:48:31.645Z"},)"
            R"({"sessionId":"s1","messageId":2,"type":"user","message":"q","timestamp":"2025-10-31T09:00:00Z"},)"
            R"({"sessionId":"s2","messageId":0,"type":"user","message":"q","timestamp":"2025-10-30T23:47:57.611Z"},)"
            R"({"sessionId":"s1","messageId":3,"type":"user","message":"!npm run dev","timestamp":"2025-10-30T23:49:00Z"},)"
            R"({"sessionId":"s1","messageId":4,"type":"user","message":"r","timestamp":"2025-10-30T23:59:59Z"},)"
            R"({"sessionId":"s1","messageId":5,"type":"user","message":"t","timestamp":"2025-10-31T00:00:01Z"}])");
  tree.file(".gemini/tmp/p/shell_history", "npm run dev\nls\n");
  const vt::Report report = run_full(tree / ".gemini");
  std::map<std::string, std::string> copied;  // log entry or shell line → what it copies
  for (const vt::Event& e : report.events) {
    if (e.source.artifact_kind == vt::ArtifactKind::GeminiSession) continue;
    std::string target = "-";
    if (e.copy_of) {
      const vt::Event* counted = by_id(report, e.copy_of->str());
      target = counted ? text(counted->facts.record_id) : "?";
    }
    copied[text(e.session_id) + "/" + text(e.facts.record_id) + "/" + text(e.message)] = target;
  }
  const std::map<std::string, std::string> expected = {
      {"s1/0/q", "u1"}, {"s1/1/q", "u2"},
      {"s1/2/q", "-"},             // hours later: another prompt
      {"s2/0/q", "-"},             // another session
      {"s1/3/!npm run dev", "-"},  // the session does not hold it
      {"s1/4/r", "u3"},            // 9 min 59 s after: within ten minutes
      {"s1/5/t", "-"},             // 10 min 1 s after: another prompt
      {"-/-/npm run dev", "3"},    // the shell line the log holds as "!npm run dev"
      {"-/-/ls", "-"},
  };
  EXPECT_EQ(copied, expected);
}

TEST(GeminiCli, SavedChatCallsTakeTheirResponsesIds) {
  vt_test::TempTree tree;
  const fs::path file = tree.file(
      ".gemini/tmp/p/checkpoint-игра.json",
      R"([{"role":"model","parts":[{"functionCall":{"name":"read_file","args":{"absolute_path":"/a"}}},)"
      R"({"functionCall":{"name":"glob","args":{"pattern":"*.po"}}},{"functionCall":{"name":"read_file","args":{"absolute_path":"/b"}}}]},)"
      R"({"role":"user","parts":[{"functionResponse":{"id":"read_file-1","name":"read_file","response":{"output":"A"}}},)"
      R"({"functionResponse":{"id":"glob-2","name":"glob","response":{"error":"none"}}},)"
      R"({"functionResponse":{"id":"read_file-3","name":"read_file","response":{"output":"B"}}}]}])");
  const vt::Report report = run_full(file);
  std::vector<std::string> calls, results;
  for (const vt::Event& e : report.events) {
    const std::string row = text(e.facts.tool_name) + " " + text(e.facts.tool_call_id) + " " + text(e.facts.tool_input);
    (e.event_type == vt::EventType::ToolCall ? calls : results).push_back(row);
    EXPECT_EQ(e.timestamp_source, vt::TimestampSource::FilesystemModified);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"read_file read_file-1 /a", "glob glob-2 *.po", "read_file read_file-3 /b"}));
  EXPECT_EQ(results, (std::vector<std::string>{"read_file read_file-1 -", "glob glob-2 -", "read_file read_file-3 -"}));
}

TEST(JsonDocument, ElementLines) {
  struct Case {
    std::string text, member;
    std::vector<std::uint64_t> lines;
  };
  const std::vector<Case> cases = {
      {"[\n  {\"a\": 1},\n  {\"a\": 2}\n]", "", {2, 3}},
      {"\xEF\xBB\xBF[1, \"x\",\n true]", "", {1, 1, 2}},
      {"[]", "", {}},
      {"{\"messages\": [\n{},\n\"s\\\"]\"\n]}", "messages", {2, 3}},  // an escaped quote in a string
      {"{\"other\": [1], \"messages\": [\n\n[2], {\"messages\": [9]}]}", "messages", {3, 3}},  // nested members do not count
      {"{\"messages\": [1], \"messages\": [\n2]}", "messages", {2}},  // the last member wins
      {"{\"msg\\u0073\": [1]}", "messages", {}},  // an escaped name is not matched
      {"{\"a\": \"messages\", \"b\": [1]}", "messages", {}},  // a value named like the member is not one
      {"[{\"k\": [1, 2]}, {\"k\": {}}\n, 3]", "", {1, 1, 2}},
  };
  for (const Case& c : cases) EXPECT_EQ(vt::element_lines(c.text, c.member), c.lines) << c.text;
  EXPECT_EQ(vt::first_value_line("\n\n  {}"), 3u);
}

}  // namespace
