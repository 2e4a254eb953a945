// The per-file record loop where Python cannot reach it: the rules of history
// files with their own wording, message excerpts, missing files and relative
// paths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_temp_tree.hpp"
#include "core/path_text.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/record_loop.hpp"
#include "jsonl/relative_path.hpp"

namespace vt {
namespace {

struct Seen {
  std::vector<std::uint64_t> lines;
  std::vector<Json> values;
};

// A handler that records what it was given and makes one event per record.
RecordHandler recording(Seen& seen) {
  return [&seen](JsonView object, std::uint64_t line, const std::string& relative_path,
                 RecordSink& sink) {
    seen.lines.push_back(line);
    seen.values.push_back(held_copy(object));
    Event event;
    event.source.relative_path = relative_path;
    event.source.line_number = line;
    sink.events.push_back(std::move(event));
  };
}

Result<FileRecords> run_loop(const vt_test::TempTree& tree, const std::string& bytes, Seen& seen,
                             ParseOptions options = {}, const LineRules& rules = {}) {
  const auto path = tree.file("logs/f.jsonl", bytes);
  return read_jsonl_records(path, tree.root(), options, ArtifactKind::Session, recording(seen), rules);
}

TEST(RecordLoop, QuotedInputInMessagesIsShortAndValidText) {
  vt_test::TempTree tree;
  Seen seen;
  // An unterminated string of 5000 characters whose excerpt would cut "é" in
  // two, and a number literal of 400 digits.
  auto out = run_loop(tree, "{\"a\":\"" + std::string(38, 'q') + "\xC3\xA9" + std::string(5000, 'q') + "\n[" +
                                std::string(400, '9') + "e999]\n", seen);
  ASSERT_TRUE(out.has_value());
  ASSERT_EQ(out->diagnostics.size(), 2u);
  for (const Diagnostic& d : out->diagnostics) {
    EXPECT_LT(d.message.size(), 300u) << d.message;
    EXPECT_TRUE(d.message.starts_with("Invalid JSON: ")) << d.message;
    EXPECT_TRUE(is_valid_utf8(d.message)) << d.message;
  }
}

std::string worded(std::uint64_t length, std::uint64_t limit) {
  return "too long: " + std::to_string(length) + " > " + std::to_string(limit);
}

TEST(RecordLoop, RulesForHistoryFilesWithTheirOwnWording) {
  LineRules rules;
  rules.over_limit_message = worded;
  rules.over_limit_strict_error = "Line too long";
  rules.pass_non_objects = true;
  ParseOptions options;
  options.max_line_size = 8;
  vt_test::TempTree tree;
  Seen seen;
  auto out = run_loop(tree, "[1]\n\"0123456789\"\n7\n", seen, options, rules);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(seen.lines, (std::vector<std::uint64_t>{1, 3}));
  ASSERT_EQ(out->diagnostics.size(), 1u);
  EXPECT_EQ(out->diagnostics[0].message, "too long: 12 > 8");
  EXPECT_EQ(out->diagnostics[0].severity, Severity::Warning);

  options.strict = true;
  Seen strict_seen;
  auto stopped = run_loop(tree, "[1]\n\"0123456789\"\n7\n", strict_seen, options, rules);
  ASSERT_FALSE(stopped.has_value());
  EXPECT_EQ(stopped.error().kind(), ParseErrorKind::Message);
  EXPECT_EQ(stopped.error().text(), "Line too long");
}

TEST(RecordLoop, EmptyAndMissingFiles) {
  vt_test::TempTree tree;
  Seen seen;
  auto empty = run_loop(tree, "", seen);
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->events.empty());
  EXPECT_TRUE(empty->diagnostics.empty());
  EXPECT_EQ(empty->sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

  auto missing = read_jsonl_records(tree / "nope.jsonl", tree.root(), {}, ArtifactKind::History, recording(seen));
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().text(), "I/O error at " + (tree / "nope.jsonl").string() + ": No such file or directory");
}

struct RelCase {
  std::string path;
  std::string root;
  std::string expected;
};

class RelativePaths : public ::testing::TestWithParam<RelCase> {};

TEST_P(RelativePaths, StripTheRootByComponents) {
  const RelCase& c = GetParam();
  EXPECT_EQ(relative_path_for(c.path, c.root), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RelativePaths,
    ::testing::Values(RelCase{"/r/.codex/history.jsonl", "/r/.codex", "history.jsonl"},
                      RelCase{"/r/.codex/sessions/a.jsonl", "/r/.codex/", "sessions/a.jsonl"},
                      RelCase{"/r/.codex", "/r/.codex", ""},
                      RelCase{"/r/.codexx/a", "/r/.codex", "/r/.codexx/a"},
                      RelCase{"/elsewhere/a", "/r", "/elsewhere/a"},
                      RelCase{"/r/a\\b.txt", "/r", "a/b.txt"},
                      RelCase{"/r/x\xFFy", "/r", "x\xEF\xBF\xBDy"},
                      RelCase{"/r", "/r/deeper", "/r"},
                      // Repeated and trailing separators and "." after the first
                      // component are not compared, and do not show in the rest.
                      RelCase{"./a/b", ".", "a/b"}, RelCase{".", ".", ""},
                      RelCase{"/r//a/./b/", "/r/", "a/b"}, RelCase{"/r/./a", "/r/.", "a"},
                      RelCase{"//r/a", "/r", "a"}, RelCase{"/r/a//", "/r", "a"},
                      RelCase{"/a/../b", "/a/..", "b"}, RelCase{"/a/b", "/a/..", "/a/b"},
                      RelCase{"r/a", "r", "a"}, RelCase{"r/a", "/r", "r/a"},
                      RelCase{"/r/a", "r", "/r/a"}, RelCase{"/r/a", "/", "r/a"},
                      RelCase{"a", "", "a"}, RelCase{"", "/r", ""},
                      RelCase{"/r/a.//b", "/r/a.", "b"}, RelCase{"/r/.x/y", "/r", ".x/y"}));

}  // namespace
}  // namespace vt
