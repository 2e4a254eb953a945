// The per-file record loop: which lines reach the handler, the diagnostics
// raised for the others, strict-mode endings and the file digest on events.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_temp_tree.hpp"
#include "hash/sha256.hpp"
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
  return [&seen](const Json& object, std::uint64_t line, const std::string& relative_path,
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

TEST(RecordLoop, BlankLinesAreSkippedButNumbered) {
  vt_test::TempTree tree;
  Seen seen;
  const std::string bytes = "{\"a\":1}\n\n \t \r\n{\"b\":2}\r\n";
  auto out = run_loop(tree, bytes, seen);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(seen.lines, (std::vector<std::uint64_t>{1, 4}));
  EXPECT_EQ(seen.values[1], Json::parse("{\"b\":2}"));
  EXPECT_TRUE(out->diagnostics.empty());
  const std::string digest = hex_lower(sha256_of(bytes));
  EXPECT_EQ(out->sha256, digest);
  ASSERT_EQ(out->events.size(), 2u);
  for (const Event& e : out->events) EXPECT_EQ(e.source_file_sha256, digest);
  EXPECT_EQ(out->events[0].source.relative_path, "logs/f.jsonl");
}

TEST(RecordLoop, ObjectsAreReadAsTheLastKeyWins) {
  vt_test::TempTree tree;
  Seen seen;
  const std::string bytes =
      "\xEF\xBB\xBF{\"k\":1}\n"                      // byte-order mark before the value
      "\xC2\xA0\xE3\x80\x80{\"k\":2}\xE2\x80\xA8\n"  // Unicode blanks around it
      "{\"k\":1,\"k\":3,\"n\":null}\n";
  auto out = run_loop(tree, bytes, seen);
  ASSERT_TRUE(out.has_value());
  ASSERT_EQ(seen.values.size(), 3u);
  EXPECT_EQ(seen.values[0], Json::parse("{\"k\":1}"));
  EXPECT_EQ(seen.values[1], Json::parse("{\"k\":2}"));
  EXPECT_EQ(seen.values[2], Json::parse("{\"k\":3,\"n\":null}"));
  EXPECT_TRUE(out->diagnostics.empty());
}

struct BadLine {
  std::string name;
  std::string line;
  DiagnosticCode code;
  Severity severity;
  std::string message_start;
  std::string message_end;
};

class BadLines : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadLines, GiveOneDiagnosticAndReadingGoesOn) {
  const BadLine& c = GetParam();
  vt_test::TempTree tree;
  Seen seen;
  ParseOptions options;
  options.max_line_size = 1000;
  auto out = run_loop(tree, "{}\n" + c.line + "\n{\"after\":true}\n", seen, options);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(seen.lines, (std::vector<std::uint64_t>{1, 3}));
  ASSERT_EQ(out->diagnostics.size(), 1u);
  const Diagnostic& d = out->diagnostics[0];
  EXPECT_EQ(d.code, c.code);
  EXPECT_EQ(d.severity, c.severity);
  EXPECT_TRUE(d.message.starts_with(c.message_start)) << d.message;
  EXPECT_TRUE(d.message.ends_with(c.message_end)) << d.message;
  ASSERT_TRUE(d.source.has_value());
  EXPECT_EQ(d.source->artifact_kind, ArtifactKind::Session);
  EXPECT_EQ(d.source->relative_path, "logs/f.jsonl");
  EXPECT_EQ(d.source->line_number, 2u);
  EXPECT_FALSE(d.source->record_type.has_value());
  EXPECT_FALSE(d.source->source_id.has_value());
}

const DiagnosticCode kJson = DiagnosticCode::InvalidJson;
const DiagnosticCode kRecord = DiagnosticCode::UnknownRecord;
const DiagnosticCode kUnreadable = DiagnosticCode::UnreadableArtifact;
const Severity kError = Severity::Error;
const Severity kWarning = Severity::Warning;

INSTANTIATE_TEST_SUITE_P(
    Lines, BadLines,
    ::testing::Values(
        BadLine{"bare_letter", "b", kJson, kError, "Invalid JSON: ", " at line 1 column 1"},
        BadLine{"two_objects", "{} {}", kJson, kError, "Invalid JSON: ", " at line 1 column 4"},
        BadLine{"trimmed_before_counting", "  [1,]", kJson, kError, "Invalid JSON: ", " at line 1 column 4"},
        BadLine{"unterminated", "{\"a\":", kJson, kError, "Invalid JSON: ", " at line 1 column 5"},
        BadLine{"not_json_at_all", "hello world", kJson, kError, "Invalid JSON: ", " at line 1 column 1"},
        BadLine{"nul_outside_string", std::string("{\0}", 3), kJson, kError, "Invalid JSON: ", " at line 1 column 2"},
        BadLine{"nul_inside_string", std::string("{\"a\":\"\0\"}", 9), kJson, kError, "Invalid JSON: ", " at line 1 column 7"},
        BadLine{"number_overflow", "{\"n\":1e400}", kJson, kError, "Invalid JSON: number overflow", " at line 1 column 10"},
        BadLine{"negative_overflow", "[-1e999]", kJson, kError, "Invalid JSON: number overflow", " at line 1 column 7"},
        BadLine{"too_deep", std::string(129, '[') + std::string(129, ']'), kJson, kError, "Invalid JSON: ", " at line 1 column 129"},
        BadLine{"too_deep_objects", "{\"a\":" + std::string(128, '[') + std::string(128, ']') + "}", kJson, kError, "Invalid JSON: ", " at line 1 column 133"},
        BadLine{"array", "[1,2]", kRecord, kWarning, "Top-level JSON value is not an object.", "."},
        BadLine{"number", "42", kRecord, kWarning, "Top-level JSON value is not an object.", "."},
        BadLine{"deepest_allowed", std::string(128, '[') + std::string(128, ']'), kRecord, kWarning, "Top-level JSON value is not an object.", "."},
        BadLine{"invalid_utf8", "{\"a\":\"\xC3(\"}", kUnreadable, kError, "Failed to read line: invalid utf-8 sequence of 1 bytes from index 6", "6"},
        BadLine{"over_limit", std::string(1001, ' ') + "{}", kJson, kWarning, "Line size 1003 exceeds max_line_size 1000, skipping.", "."}),
    [](const auto& info) { return info.param.name; });

// A million opening brackets must end as a diagnostic, not a stack overflow
// anywhere in building, copying or freeing the value.
TEST(RecordLoop, MillionBracketsIsInvalidJson) {
  vt_test::TempTree tree;
  Seen seen;
  ParseOptions options;
  options.max_line_size = 0;
  auto out = run_loop(tree, std::string(1000000, '[') + "\n" + std::string(1000000, '{') + "\n", seen, options);
  ASSERT_TRUE(out.has_value());
  EXPECT_TRUE(seen.lines.empty());
  ASSERT_EQ(out->diagnostics.size(), 2u);
  EXPECT_EQ(out->diagnostics[0].message, "Invalid JSON: recursion limit exceeded at line 1 column 129");
  EXPECT_EQ(out->diagnostics[1].code, kJson);
  EXPECT_TRUE(out->diagnostics[1].message.ends_with(" at line 1 column 2")) << out->diagnostics[1].message;
}

TEST(RecordLoop, QuotedInputInMessagesIsShortAndValidText) {
  vt_test::TempTree tree;
  Seen seen;
  // An unterminated string of 5000 characters ending in a cut-off sequence.
  auto out = run_loop(tree, "{\"a\":\"" + std::string(5000, 'q') + "\n[" + std::string(400, '9') + "e999]\n", seen);
  ASSERT_TRUE(out.has_value());
  ASSERT_EQ(out->diagnostics.size(), 2u);
  for (const Diagnostic& d : out->diagnostics) {
    EXPECT_LT(d.message.size(), 300u) << d.message;
    EXPECT_TRUE(d.message.starts_with("Invalid JSON: ")) << d.message;
  }
}

TEST(RecordLoop, StrictModeEndings) {
  ParseOptions strict;
  strict.strict = true;
  strict.max_line_size = 8;
  {
    vt_test::TempTree tree;
    Seen seen;
    auto out = run_loop(tree, "{}\n{\"long\":12345}\n{}\n", seen, strict);  // over-long: goes on
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->diagnostics.size(), 1u);
    EXPECT_EQ(out->events.size(), 2u);
  }
  {
    vt_test::TempTree tree;
    Seen seen;
    auto out = run_loop(tree, "{}\n\n{]\n{}\n", seen, strict);
    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().kind(), ParseErrorKind::JsonParse);
    EXPECT_TRUE(out.error().text().starts_with("JSON parse error at logs/f.jsonl line 3: ")) << out.error().text();
    EXPECT_TRUE(out.error().text().ends_with(" at line 1 column 2")) << out.error().text();
  }
  {
    vt_test::TempTree tree;
    Seen seen;
    auto out = run_loop(tree, "{}\n\xFF\n", seen, strict);
    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().kind(), ParseErrorKind::Io);
    EXPECT_EQ(out.error().text(), "I/O error at " + (tree / "logs/f.jsonl").string() +
                                      ": invalid utf-8 sequence of 1 bytes from index 0");
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
  EXPECT_EQ(out->diagnostics[0].severity, kWarning);

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
                      RelCase{"/r", "/r/deeper", "/r"}));

}  // namespace
}  // namespace vt
