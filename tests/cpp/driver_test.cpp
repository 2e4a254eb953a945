#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/driver.hpp"
#include "core/run_plan.hpp"
#include "core_temp_tree.hpp"

namespace {

using vt::InputKind;
namespace fs = std::filesystem;

vt::ParseOptions options(bool follow = false, InputKind kind = InputKind::Auto) {
  vt::ParseOptions o;
  o.follow_symlinks = follow;
  o.input_kind = kind;
  return o;
}

struct Step {
  vt::Provider provider;
  InputKind kind;
  std::string path;
  std::string base;
  bool operator==(const Step&) const = default;
};

void PrintTo(const Step& s, std::ostream* os) {
  *os << vt::variant_name(s.provider) << "/" << vt::input_kind_name(s.kind) << " " << s.path
      << " base " << s.base;
}

std::vector<Step> steps_of(const std::vector<vt::ReadStep>& steps) {
  std::vector<Step> out;
  for (const auto& s : steps) {
    out.push_back({s.adapter->provider, s.kind, s.path.native(), s.base_dir.native()});
  }
  return out;
}

std::vector<Step> plan(const fs::path& path, const vt::ParseOptions& o) {
  const auto planned = vt::plan_run(path.native(), o);
  EXPECT_TRUE(planned.has_value()) << planned.error().text();
  return planned ? steps_of(*planned) : std::vector<Step>{};
}

std::string plan_error(const std::string& path, const vt::ParseOptions& o) {
  const auto planned = vt::plan_run(path, o);
  EXPECT_FALSE(planned.has_value());
  return planned ? std::string("<no error>") : planned.error().text();
}

constexpr auto kCodex = vt::Provider::Codex;
constexpr auto kClaude = vt::Provider::ClaudeCode;

TEST(RunPlan, DirectoryWithBothRootsReadsBothAgainstItself) {
  vt_test::TempTree t;
  t.dir("home/.codex");
  t.file("home/.claude/history.jsonl");
  const std::string home = (t / "home").native();
  const std::vector<Step> expected = {{kCodex, InputKind::CodexRoot, home + "/.codex", home},
                                      {kClaude, InputKind::ClaudeRoot, home + "/.claude", home}};
  EXPECT_EQ(plan(t / "home", options()), expected);
  // A trailing separator names the same directory.
  EXPECT_EQ(plan(home + "/", options()), expected);
}

TEST(RunPlan, SingleRootIsItsOwnBase) {
  vt_test::TempTree t;
  t.dir("home/.codex");
  t.dir("home/.claude");  // empty: not a root
  const std::string root = (t / "home/.codex").native();
  EXPECT_EQ(plan(t / "home", options()),
            (std::vector<Step>{{kCodex, InputKind::CodexRoot, root, root}}));
  t.file("only/.claude/paste-cache/a.txt");
  const std::string claude = (t / "only/.claude").native();
  EXPECT_EQ(plan(t / "only", options()),
            (std::vector<Step>{{kClaude, InputKind::ClaudeRoot, claude, claude}}));
}

TEST(RunPlan, DetectionWhenNoRootInside) {
  vt_test::TempTree t;
  t.file("home/.codex/sessions/2025/01/01/rollout-1.jsonl");
  const std::string codex = (t / "home/.codex").native();
  EXPECT_EQ(plan(t / "home/.codex/sessions", options()),
            (std::vector<Step>{{kCodex, InputKind::CodexSessions, codex + "/sessions", codex}}));
  EXPECT_EQ(plan(t / "home/.codex/sessions/2025/01/01/rollout-1.jsonl", options()),
            (std::vector<Step>{{kCodex, InputKind::CodexSession,
                                codex + "/sessions/2025/01/01/rollout-1.jsonl", codex}}));
  // The root itself, given directly.
  EXPECT_EQ(plan(codex + "/", options()),
            (std::vector<Step>{{kCodex, InputKind::CodexRoot, codex, codex}}));
}

TEST(RunPlan, RelativePathsAsGivenUnlessFollowed) {
  vt_test::TempTree t;
  t.file("home/.codex/sessions/a/rollout-1.jsonl");
  t.file("home/.codex/history.jsonl");
  vt_test::WorkingDirectory cwd(t / "home/.codex");
  EXPECT_EQ(plan_error("sessions", options()),
            "Cannot auto-detect a supported artifact at 'sessions'.");
  const std::string codex = fs::canonical(t / "home/.codex").native();
  EXPECT_EQ(plan("sessions", options(true)),
            (std::vector<Step>{{kCodex, InputKind::CodexSessions, codex + "/sessions", codex}}));
  // A history file with no ".codex" in the path as given is Claude Code's,
  // read relative to the working directory.
  EXPECT_EQ(plan("history.jsonl", options()),
            (std::vector<Step>{{kClaude, InputKind::History, "history.jsonl", ""}}));
  EXPECT_EQ(plan("sessions/a/rollout-1.jsonl", options()),
            (std::vector<Step>{{kCodex, InputKind::CodexSession, "sessions/a/rollout-1.jsonl",
                                ""}}));
}

TEST(RunPlan, GivenKindSkipsDetection) {
  vt_test::TempTree t;
  const fs::path file = t.file("anything/notes.txt");
  EXPECT_EQ(plan(file, options(false, InputKind::History)),
            (std::vector<Step>{{kClaude, InputKind::History, file.native(),
                                (t / "anything").native()}}));
  EXPECT_EQ(plan(file, options(false, InputKind::CodexRoot)),
            (std::vector<Step>{{kCodex, InputKind::CodexRoot, file.native(), file.native()}}));
}

TEST(Run, PathsThatAreNotUtf8ShowWithReplacementCharacters) {
  vt_test::TempTree t;
  const std::string missing = t.root().native() + "/caf\xE9/x";
  const auto report = vt::run(missing, options());
  ASSERT_FALSE(report.has_value());
  EXPECT_EQ(report.error().kind(), vt::ParseErrorKind::Io);
  EXPECT_EQ(report.error().text(), "I/O error at " + t.root().native() +
                                       "/caf\xEF\xBF\xBD/x: No such file or directory");
}

// Runs that end before a report exists: a path the system would read cut
// short, and a run its caller asks to stop (before it starts, or inside one
// endless line of a sparse terabyte file).
TEST(Run, EndsWithoutAReport) {
  vt_test::TempTree t;
  const fs::path history = t.file(".codex/history.jsonl");
  fs::resize_file(history, std::uintmax_t{1} << 40);
  struct Case {
    std::string path;
    int cancel_after_ms;  // -1: never; 0: before the run
    std::string error;
  };
  const Case cases[] = {
      {t.root().native() + "/.codex" + std::string(1, '\0') + "x", -1, "embedded null byte"},
      {(t / ".codex").native(), 0, "Run interrupted."},
      {(t / ".codex").native(), 50, "Run interrupted."},
  };
  for (const Case& c : cases) {
    std::atomic<bool> cancel{c.cancel_after_ms == 0};
    vt::ParseOptions o = options();
    o.cancel = &cancel;
    std::thread stopper;
    if (c.cancel_after_ms > 0) {
      stopper = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(c.cancel_after_ms));
        cancel = true;
      });
    }
    const auto report = vt::run(c.path, o);
    if (stopper.joinable()) stopper.join();
    ASSERT_FALSE(report.has_value()) << c.error;
    EXPECT_EQ(report.error().text(), c.error);
  }
}

}  // namespace
