#include <gtest/gtest.h>

#include <string>
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

TEST(RunPlan, LinkedRootsCountOnlyWhenFollowed) {
  vt_test::TempTree t;
  t.file("real/.claude/history.jsonl");
  t.dir("real/.codex");
  t.dir("home");
  t.link("home/.codex", t / "real/.codex");
  t.link("home/.claude", t / "real/.claude");
  // Not followed: no root, and detection finds nothing either.
  EXPECT_EQ(plan_error((t / "home").native(), options()),
            "Cannot auto-detect a supported artifact at '" + (t / "home").native() + "'.");
  // Followed: both roots, under the canonical directory.
  const std::string home = fs::canonical(t / "home").native();
  EXPECT_EQ(plan(t / "home", options(true)),
            (std::vector<Step>{{kCodex, InputKind::CodexRoot, home + "/.codex", home},
                               {kClaude, InputKind::ClaudeRoot, home + "/.claude", home}}));
}

TEST(RunPlan, InputLinkToDirectoryIsSearchedForRootsEvenUnfollowed) {
  vt_test::TempTree t;
  t.dir("real/.codex");
  t.link("alias", t / "real");
  const std::string root = (t / "alias/.codex").native();
  EXPECT_EQ(plan(t / "alias", options()),
            (std::vector<Step>{{kCodex, InputKind::CodexRoot, root, root}}));
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

class BadInput : public ::testing::TestWithParam<bool> {};

TEST_P(BadInput, EndsWithAClearErrorNeverACrash) {
  const bool follow = GetParam();
  vt_test::TempTree t;
  t.file("file.txt");
  t.link("dangling", t / "nowhere");
  t.link("loop-a", t / "loop-b");
  t.link("loop-b", t / "loop-a");
  t.fifo("pipe");
  const std::string root = t.root().native();
  const auto error_of = [&](const std::string& rel) {
    const auto report = vt::run(root + "/" + rel, options(follow));
    EXPECT_FALSE(report.has_value()) << rel;
    return report ? std::string("<report>") : report.error().text();
  };
  EXPECT_EQ(error_of("missing"), "I/O error at " + root + "/missing: No such file or directory");
  EXPECT_EQ(error_of("file.txt/inside"),
            "I/O error at " + root + "/file.txt/inside: Not a directory");
  EXPECT_EQ(error_of("pipe"), "Cannot auto-detect a supported artifact at '" +
                                  (follow ? fs::canonical(t / "pipe").native() : root + "/pipe") +
                                  "'.");
  if (follow) {
    EXPECT_EQ(error_of("dangling"),
              "I/O error at " + root + "/dangling: No such file or directory");
    EXPECT_EQ(error_of("loop-a"),
              "I/O error at " + root + "/loop-a: Too many levels of symbolic links");
  } else {
    for (const char* link : {"dangling", "loop-a"}) {
      EXPECT_EQ(error_of(link),
                "Cannot auto-detect a supported artifact at '" + root + "/" + link + "'.");
    }
  }
  // Names that are not UTF-8 are shown with replacement characters.
  EXPECT_EQ(error_of("caf\xE9"), "I/O error at " + root + "/caf\xEF\xBF\xBD: No such file or directory");
}

INSTANTIATE_TEST_SUITE_P(FollowSymlinks, BadInput, ::testing::Bool());

TEST(Run, ReadsEveryPlannedRootAndFinalizes) {
  vt_test::TempTree t;
  t.dir("home/.codex");
  t.file("home/.claude/history.jsonl");
  const auto report = vt::run((t / "home").native(), options());
  ASSERT_TRUE(report.has_value()) << report.error().text();
  for (std::size_t i = 0; i < report->events.size(); ++i) EXPECT_EQ(report->events[i].sequence, i);
}

}  // namespace
