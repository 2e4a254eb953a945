// Threads of transcripts read by the full reading: a resumed session's file,
// its predecessor, a sub-agent's file and a history line.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/conversations.hpp"
#include "core_temp_tree.hpp"
#include "full_reading.hpp"

namespace {

const std::string kOld = "475cf228-740e-42a9-a6d5-fad635e8af0e";
const std::string kNew = "25131281-f4db-48c0-a365-3d871181e2fb";

std::string user(const std::string& session, const std::string& uuid, const std::string& text, bool sidechain = false) {
  return R"({"parentUuid":null,"isSidechain":)" + std::string(sidechain ? "true" : "false") +
         R"(,"type":"user","sessionId":")" + session + R"(","cwd":"/w","uuid":")" + uuid +
         R"(","timestamp":"2025-06-20T16:51:56.186Z","message":{"role":"user","content":[{"type":"text","text":")" +
         text + R"("}]}})" + "\n";
}

std::string assistant(const std::string& session, const std::string& uuid, const std::string& id) {
  return R"({"type":"assistant","sessionId":")" + session + R"(","cwd":"/w","uuid":")" + uuid +
         R"(","timestamp":"2025-06-20T17:15:18.292Z","message":{"id":")" + id +
         R"(","role":"assistant","model":"claude-sonnet-4-20250514","content":[{"type":"text","text":"Yes"}]}})" + "\n";
}

TEST(Conversations, AFileIsOneThreadWhateverItsRecordsSay) {
  vt_test::TempTree tree;
  const std::string project = ".claude/projects/-w/";
  // The resumed file: the old session's prompts first, then its own.
  tree.file(project + kNew + ".jsonl", user(kOld, "u1", "run it") + assistant(kNew, "u2", "msg_1") +
                                            user(kNew, "u3", "next") + "{\"type\":\"summary\",\"summary\":\"s\"}\n");
  tree.file(project + kOld + ".jsonl", user(kOld, "o1", "first") + assistant(kOld, "o2", "msg_0"));
  // A sub-agent's file carries its parent's session.
  tree.file(project + "agent-1a2b.jsonl", user(kOld, "a1", "task", true));
  tree.file(".claude/history.jsonl",
            R"({"display":"typed","pastedContents":{},"timestamp":1750438316186,"project":"/w","sessionId":"h-1"})" "\n");
  const vt::Report report = vt_test::run_full(tree / ".claude");
  const vt::Conversations threads = vt::tie_conversations(report.events);
  ASSERT_EQ(threads.session_of.size(), report.events.size());

  const std::map<std::string, std::string> expected = {
      {"projects/-w/" + kNew + ".jsonl", kNew},
      {"projects/-w/" + kOld + ".jsonl", kOld},
      {"projects/-w/agent-1a2b.jsonl", kOld},
      {"history.jsonl", "h-1"},
  };
  std::map<std::string, std::set<std::string>> seen;
  for (std::size_t i = 0; i < report.events.size(); ++i) {
    const vt::Event& e = report.events[i];
    seen[e.source.relative_path.str()].insert(threads.session_of[i].value_or("(none)"));
  }
  ASSERT_EQ(seen.size(), expected.size());
  for (const auto& [file, session] : expected) {
    EXPECT_EQ(seen[file], std::set<std::string>{session}) << file;
  }

  const vt::SessionLinks* newer = threads.links_of(vt::Provider::ClaudeCode, kNew);
  const vt::SessionLinks* older = threads.links_of(vt::Provider::ClaudeCode, kOld);
  ASSERT_TRUE(newer && older);
  EXPECT_EQ(newer->continues, std::vector<std::string>{kOld});
  EXPECT_TRUE(newer->continued_by.empty());
  EXPECT_EQ(older->continued_by, std::vector<std::string>{kNew});
  EXPECT_TRUE(older->continues.empty());
  EXPECT_EQ(threads.links_of(vt::Provider::ClaudeCode, "h-1"), nullptr);
  EXPECT_EQ(threads.links_of(vt::Provider::Codex, kNew), nullptr);
  EXPECT_EQ(threads.links.size(), 2u);
}

}  // namespace
