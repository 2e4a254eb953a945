#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "claude/claude_adapter.hpp"
#include "codex/codex_adapter.hpp"
#include "core/detect.hpp"
#include "core_temp_tree.hpp"

namespace {

using vt::InputKind;
namespace fs = std::filesystem;

// One tree holding every layout the cases below probe.
class DetectionTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tree_ = std::make_unique<vt_test::TempTree>();
    const auto& t = *tree_;
    t.file("home/.codex/history.jsonl");
    t.file("home/.codex/sessions/2025/01/01/rollout-x.jsonl");
    t.file("home/.codex/attachments/a/b.png");
    t.file("home/.claude/history.jsonl");
    t.file("home/.claude/paste-cache/p.txt");
    t.file("home/.claude/image-cache/i.png");
    t.file("home/.claude/file-history/sess/abc@v1");
    t.dir("emptyclaude/.claude");
    t.dir("emptycodex/.codex");
    t.file("loose/history.jsonl");
    t.file("loose/rollout-x.jsonl");
    t.file("loose/sessions/rollout-y.jsonl");
    t.file("attach/attachments/x/file.bin");
    t.file("mixed/history.jsonl");
    t.file("mixed/sessions/a/rollout-1.jsonl");
    t.file("under/.claude/mixed/history.jsonl");
    t.file("under/.claude/mixed/sessions/a/rollout-1.jsonl");
    t.file("both/.codex/.claude/mixed/history.jsonl");
    t.file("both/.codex/.claude/mixed/sessions/a/rollout-1.jsonl");
    t.file("amb/attachments/paste-cache/a.txt");
    t.file("deep5/sessions/1/2/3/4/rollout-5.jsonl");
    t.file("deep6/sessions/1/2/3/4/5/rollout-6.jsonl");
    t.file("wrongname/sessions/a/rollout-1.json");
    t.dir("linkroot");
    t.link("linkroot/sessions", t / "deep5/sessions");
    t.link("links/hist", t / "loose/history.jsonl");
    t.link("links/dangling", t / "nothing-here");
    t.fifo("fifo/history.jsonl");
    t.fifo("fifoparent/paste-cache/p.txt");
    t.dir("claudelink");
    t.link("claudelink/paste-cache", t / "home/.claude/paste-cache");
    t.link("claudelink2/history.jsonl", t / "loose/history.jsonl");
    t.dir("claudefile/file-history");
    t.file("claudeplain/file-history");  // a file, not the cache directory
    t.file("loose/other.txt");
  }
  static void TearDownTestSuite() { tree_.reset(); }
  static std::unique_ptr<vt_test::TempTree> tree_;
};
std::unique_ptr<vt_test::TempTree> DetectionTree::tree_;

struct ProbeCase {
  const char* path;
  bool follow;
  std::optional<InputKind> codex;
  int codex_priority;  // checked only when codex answers
  std::optional<InputKind> claude;
  int claude_priority;
  // The detection result: a kind, or the error's text with {} for the path.
  std::optional<InputKind> detected;
  const char* error;
};

std::string describe(const ::testing::TestParamInfo<ProbeCase>& info) {
  std::string name = std::to_string(info.index) + "_" + info.param.path;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name + (info.param.follow ? "_follow" : "");
}

class Probe : public DetectionTree, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(Probe, ClassifiesRatesAndDetects) {
  const ProbeCase& c = GetParam();
  const fs::path path = *tree_ / c.path;
  const auto codex = vt::codex::probe(path, c.follow);
  const auto claude = vt::claude::probe(path, c.follow);
  ASSERT_TRUE(codex.has_value()) << codex.error().text();
  ASSERT_TRUE(claude.has_value()) << claude.error().text();
  EXPECT_EQ(*codex, c.codex);
  EXPECT_EQ(*claude, c.claude);
  if (*codex) EXPECT_EQ(vt::codex::detection_priority(path, **codex), c.codex_priority);
  if (*claude) EXPECT_EQ(vt::claude::detection_priority(path, **claude), c.claude_priority);
  const auto detected = vt::detect(path, c.follow);
  if (c.detected) {
    ASSERT_TRUE(detected.has_value()) << detected.error().text();
    EXPECT_EQ(detected->kind, *c.detected);
    EXPECT_EQ(detected->adapter->provider, vt::codex::supports_kind(*c.detected)
                                               ? vt::Provider::Codex
                                               : vt::Provider::ClaudeCode);
  } else {
    ASSERT_FALSE(detected.has_value());
    std::string expected = c.error;
    expected.replace(expected.find("{}"), 2, path.string());
    EXPECT_EQ(detected.error().kind(), vt::ParseErrorKind::Message);
    EXPECT_EQ(detected.error().text(), expected);
  }
}

constexpr auto kNone = std::nullopt;
constexpr const char* kCannot = "Cannot auto-detect a supported artifact at '{}'.";
constexpr const char* kAmbiguous = "Artifact detection is ambiguous at '{}': Codex, ClaudeCode.";

INSTANTIATE_TEST_SUITE_P(
    Matrix, Probe,
    ::testing::Values(
        // Roots by name, whatever they hold.
        ProbeCase{"home/.codex", false, InputKind::CodexRoot, 100, kNone, 0, InputKind::CodexRoot},
        ProbeCase{"emptycodex/.codex", false, InputKind::CodexRoot, 100, kNone, 0,
                  InputKind::CodexRoot},
        ProbeCase{"home/.claude", false, kNone, 0, InputKind::ClaudeRoot, 100,
                  InputKind::ClaudeRoot},
        ProbeCase{"emptyclaude/.claude", false, kNone, 0, kNone, 0, kNone, kCannot},
        // Codex parts.
        ProbeCase{"home/.codex/history.jsonl", false, InputKind::CodexHistory, 100, kNone, 0,
                  InputKind::CodexHistory},
        ProbeCase{"home/.codex/sessions", false, InputKind::CodexSessions, 100, kNone, 0,
                  InputKind::CodexSessions},
        ProbeCase{"home/.codex/sessions/2025/01/01/rollout-x.jsonl", false,
                  InputKind::CodexSession, 100, kNone, 0, InputKind::CodexSession},
        ProbeCase{"home/.codex/attachments", false, InputKind::CodexAttachments, 100, kNone, 0,
                  InputKind::CodexAttachments},
        ProbeCase{"home/.codex/attachments/a/b.png", false, InputKind::CodexAttachments, 100,
                  kNone, 0, InputKind::CodexAttachments},
        ProbeCase{"attach/attachments/x/file.bin", false, InputKind::CodexAttachments, 80, kNone,
                  0, InputKind::CodexAttachments},
        ProbeCase{"loose/sessions/rollout-y.jsonl", false, InputKind::CodexSession, 80, kNone, 0,
                  InputKind::CodexSession},
        ProbeCase{"loose/rollout-x.jsonl", false, kNone, 0, kNone, 0, kNone, kCannot},
        // "sessions" without a .codex ancestor is looked at as a would-be root.
        ProbeCase{"loose/sessions", false, kNone, 0, kNone, 0, kNone, kCannot},
        // Claude Code parts.
        ProbeCase{"home/.claude/history.jsonl", false, kNone, 0, InputKind::History, 100,
                  InputKind::History},
        ProbeCase{"loose/history.jsonl", false, kNone, 0, InputKind::History, 10,
                  InputKind::History},
        ProbeCase{"home/.claude/paste-cache", false, kNone, 0, InputKind::PasteCache, 100,
                  InputKind::PasteCache},
        ProbeCase{"home/.claude/paste-cache/p.txt", false, kNone, 0, InputKind::PasteCache, 100,
                  InputKind::PasteCache},
        ProbeCase{"home/.claude/image-cache/i.png", false, kNone, 0, InputKind::ImageCache, 100,
                  InputKind::ImageCache},
        ProbeCase{"home/.claude/file-history", false, kNone, 0, InputKind::FileHistory, 100,
                  InputKind::FileHistory},
        ProbeCase{"home/.claude/file-history/sess/abc@v1", false, kNone, 0,
                  InputKind::FileHistory, 100, InputKind::FileHistory},
        ProbeCase{"claudefile/file-history", false, kNone, 0, InputKind::FileHistory, 80,
                  InputKind::FileHistory},
        ProbeCase{"claudeplain", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"loose/other.txt", false, kNone, 0, kNone, 0, kNone, kCannot},
        // Priorities deciding, and ties.
        ProbeCase{"mixed", false, InputKind::CodexRoot, 80, InputKind::ClaudeRoot, 10,
                  InputKind::CodexRoot},
        ProbeCase{"under/.claude/mixed", false, InputKind::CodexRoot, 80, InputKind::ClaudeRoot,
                  100, InputKind::ClaudeRoot},
        ProbeCase{"both/.codex/.claude/mixed", false, InputKind::CodexRoot, 100,
                  InputKind::ClaudeRoot, 100, kNone, kAmbiguous},
        ProbeCase{"amb/attachments/paste-cache/a.txt", false, InputKind::CodexAttachments, 80,
                  InputKind::PasteCache, 80, kNone, kAmbiguous},
        // The bounded rollout search below "sessions".
        ProbeCase{"deep5", false, InputKind::CodexRoot, 80, kNone, 0, InputKind::CodexRoot},
        ProbeCase{"deep6", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"wrongname", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"linkroot", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"linkroot", true, kNone, 0, kNone, 0, kNone, kCannot},
        // Links: never classified unless followed.
        ProbeCase{"links/hist", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"links/dangling", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"claudelink", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"claudelink", true, kNone, 0, InputKind::ClaudeRoot, 10, InputKind::ClaudeRoot},
        ProbeCase{"claudelink2", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"claudelink2", true, kNone, 0, InputKind::ClaudeRoot, 10,
                  InputKind::ClaudeRoot},
        // Special files are named, never classified (nor opened).
        ProbeCase{"fifo/history.jsonl", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"fifo/history.jsonl", true, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"fifoparent/paste-cache/p.txt", false, kNone, 0, kNone, 0, kNone, kCannot},
        ProbeCase{"fifo", false, kNone, 0, kNone, 0, kNone, kCannot}),
    describe);

TEST_F(DetectionTree, MissingPathIsAnIoErrorFromTheFirstProbe) {
  const fs::path missing = *tree_ / "no/such/thing";
  for (const bool follow : {false, true}) {
    const auto detected = vt::detect(missing, follow);
    ASSERT_FALSE(detected.has_value());
    EXPECT_EQ(detected.error().kind(), vt::ParseErrorKind::Io);
    EXPECT_EQ(detected.error().text(),
              "I/O error at " + missing.string() + ": No such file or directory");
  }
  const auto through_file = vt::detect(*tree_ / "loose/history.jsonl/x", false);
  ASSERT_FALSE(through_file.has_value());
  EXPECT_EQ(through_file.error().kind(), vt::ParseErrorKind::Io);
  EXPECT_NE(through_file.error().text().find("Not a directory"), std::string::npos);
}

TEST(DetectionNames, NonUtf8NamesMatchNothingAndShowLossily) {
  vt_test::TempTree t;
  const fs::path odd = t.dir(std::string("x\xff") + "/paste-cache");
  EXPECT_EQ(vt::claude::probe(odd, false).value(), InputKind::PasteCache);
  const fs::path bad = t.dir(std::string("file-history\xff"));
  EXPECT_EQ(vt::claude::probe(bad, false).value(), std::nullopt);
  const auto detected = vt::detect(bad, false);
  ASSERT_FALSE(detected.has_value());
  EXPECT_EQ(detected.error().text(), "Cannot auto-detect a supported artifact at '" +
                                         t.root().string() + "/file-history\xEF\xBF\xBD'.");
  const fs::path rollout = t.file(std::string("r/sessions/rollout-\xfe.jsonl"));
  EXPECT_EQ(vt::codex::probe(rollout, false).value(), std::nullopt);
  EXPECT_EQ(vt::codex::probe(t / "r", false).value(), std::nullopt);
}

struct BaseCase {
  InputKind kind;
  const char* path;
  const char* expected;
};

class BaseDir : public DetectionTree, public ::testing::WithParamInterface<BaseCase> {};

TEST_P(BaseDir, IsWhereRelativePathsStart) {
  const BaseCase& c = GetParam();
  const bool relative = c.path[0] == '@';
  const fs::path path = relative ? fs::path(c.path + 1) : *tree_ / c.path;
  const fs::path expected = relative ? fs::path(c.expected) : *tree_ / c.expected;
  const fs::path got = vt::codex::supports_kind(c.kind) ? vt::codex::base_dir(path, c.kind)
                                                        : vt::claude::base_dir(path, c.kind);
  EXPECT_EQ(got.native(), expected.native());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BaseDir,
    ::testing::Values(
        BaseCase{InputKind::CodexRoot, "home/.codex", "home/.codex"},
        BaseCase{InputKind::CodexHistory, "home/.codex/history.jsonl", "home/.codex"},
        BaseCase{InputKind::CodexSessions, "home/.codex/sessions", "home/.codex"},
        BaseCase{InputKind::CodexSession, "home/.codex/sessions/2025/01/01/rollout-x.jsonl",
                 "home/.codex"},
        BaseCase{InputKind::CodexAttachments, "home/.codex/attachments/a/b.png", "home/.codex"},
        BaseCase{InputKind::CodexAttachments, "home/.codex/attachments", "home/.codex"},
        BaseCase{InputKind::CodexSession, "loose/rollout-x.jsonl", "loose/rollout-x.jsonl"},
        BaseCase{InputKind::ClaudeRoot, "home/.claude", "home/.claude"},
        BaseCase{InputKind::History, "loose/history.jsonl", "loose"},
        BaseCase{InputKind::PasteCache, "home/.claude/paste-cache", "home/.claude"},
        BaseCase{InputKind::PasteCache, "home/.claude/paste-cache/p.txt", "home/.claude"},
        BaseCase{InputKind::ImageCache, "home/.claude/image-cache/i.png", "home/.claude"},
        BaseCase{InputKind::FileHistory, "home/.claude/file-history", "home/.claude"},
        BaseCase{InputKind::FileHistory, "home/.claude/file-history/sess",
                 "home/.claude/file-history/sess"},
        BaseCase{InputKind::FileHistory, "home/.claude/file-history/sess/abc@v1",
                 "home/.claude/file-history/sess"},
        // A link to a cache directory is not the directory itself.
        BaseCase{InputKind::PasteCache, "claudelink/paste-cache", "claudelink"},
        // Relative inputs (marked @): a lone component's parent is the
        // working directory, so relative paths stay whole.
        BaseCase{InputKind::History, "@history.jsonl", ""},
        BaseCase{InputKind::CodexSession, "@sessions/a/rollout-1.jsonl", ""},
        BaseCase{InputKind::CodexAttachments, "@attachments", ""},
        BaseCase{InputKind::PasteCache, "@paste-cache/none.txt", ""}));

TEST(ClaudeAdapter, RefusesForeignKinds) {
  const auto out = vt::claude::parse_input("x", InputKind::CodexSession, "", vt::ParseOptions{});
  ASSERT_FALSE(out.has_value());
  EXPECT_EQ(out.error().kind(), vt::ParseErrorKind::Message);
  EXPECT_EQ(out.error().text(), "Claude Code adapter does not support input kind CodexSession.");
}

TEST(AdapterTable, KindsSplitBetweenTheTwoAdaptersInOrder) {
  const auto& table = vt::adapter_table();
  EXPECT_EQ(table[0].provider, vt::Provider::Codex);
  EXPECT_EQ(table[0].dir_name, ".codex");
  EXPECT_EQ(table[1].provider, vt::Provider::ClaudeCode);
  EXPECT_EQ(table[1].dir_name, ".claude");
  for (int k = 1; k <= 10; ++k) {
    const auto kind = static_cast<InputKind>(k);
    const bool codex = k >= 6;
    EXPECT_EQ(table[0].supports_kind(kind), codex) << k;
    EXPECT_EQ(table[1].supports_kind(kind), !codex) << k;
    EXPECT_EQ(&vt::adapter_for_kind(kind), &table[codex ? 0 : 1]) << k;
  }
  EXPECT_FALSE(table[0].supports_kind(InputKind::Auto));
  EXPECT_FALSE(table[1].supports_kind(InputKind::Auto));
}

}  // namespace
