// Whole runs over a tree of many files with several threads against the same
// runs read serially (also the workload of the ThreadSanitizer build).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/driver.hpp"
#include "core_temp_tree.hpp"

namespace {

std::string rollout(int n) {
  std::string text = R"({"timestamp":"2025-11-05T09:12:40.000Z","type":"session_meta","payload":{"id":"s)" +
                     std::to_string(n) + R"(","cwd":"/w"}})" "\n";
  for (int line = 0; line < 30; ++line) {
    if ((line + n) % 11 == 0) text += "{broken\n";
    text += R"({"timestamp":"2025-11-05T09:12:4)" + std::to_string(line % 3) +
            R"(.000Z","type":"event_msg","payload":{"type":"agent_message","message":"m)" +
            std::to_string(line) + "\"}}\n";
  }
  return text;
}

void build(const vt_test::TempTree& tree) {
  tree.file(".codex/history.jsonl", R"({"session_id":"s1","text":"hi","ts":1762333973})" "\n");
  for (int n = 0; n < 24; ++n) {
    const std::string dir = n % 4 == 3 ? ".codex/archived_sessions/" : ".codex/sessions/2025/11/0" + std::to_string(n % 5) + "/";
    tree.file(dir + "rollout-2025-11-05T09-12-40-" + std::to_string(100 + n) + ".jsonl", rollout(n));
    tree.file(".codex/attachments/a" + std::to_string(n % 3) + "/f" + std::to_string(n), std::string(n, 'x'));
    tree.file(".claude/paste-cache/" + std::to_string(1000 + n) + ".txt", "paste " + std::to_string(n));
    tree.file(".claude/image-cache/i/" + std::to_string(2000 + n) + ".png", std::string(n, 'p'));
    tree.file(".claude/file-history/s" + std::to_string(n % 3) + "/" +
                  (n % 7 == 0 ? "odd-name" + std::to_string(n) : "f" + std::to_string(n % 5) + "@v" + std::to_string(n % 4 + 1)),
              "v" + std::to_string(n));
  }
  tree.file(".claude/history.jsonl", R"({"display":"x","timestamp":1762159272000,"sessionId":"s0"})" "\n");
}

std::vector<std::string> summary(const vt::Result<vt::Report>& report) {
  std::vector<std::string> out;
  if (!report) return {"error: " + report.error().text()};
  for (const vt::Event& e : report->events) {
    out.push_back(e.event_id.str() + " " + std::to_string(e.sequence) + " " + e.source.relative_path.str() + " " +
                  std::to_string(e.source.line_number.value_or(0)));
  }
  for (const vt::Diagnostic& d : report->diagnostics) {
    out.push_back(d.message + " @ " + (d.source ? d.source->relative_path.str() : std::string()));
  }
  return out;
}

TEST(ThreadedRun, SameReportAsASerialRun) {
  vt_test::TempTree tree;
  build(tree);
  for (const bool strict : {false, true}) {
    vt::ParseOptions options;
    options.strict = strict;
    options.threads = 1;
    const std::vector<std::string> serial = summary(vt::run(tree.root().string(), options));
    ASSERT_GT(serial.size(), strict ? 0u : 700u);
    for (const unsigned threads : {2u, 4u, 9u}) {
      options.threads = threads;
      EXPECT_EQ(summary(vt::run(tree.root().string(), options)), serial) << threads << " " << strict;
    }
  }
}

}  // namespace
