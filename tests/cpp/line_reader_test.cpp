// The buffered, hashing line reader item by item: line splitting at block
// edges, numbering, the size limit, UTF-8 checks and hostile files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "core_temp_tree.hpp"
#include "hash/sha256.hpp"
#include "jsonl/line_reader.hpp"

namespace vt {
namespace {

constexpr std::size_t kBuffer = JsonlReader::kBufferSize;

struct Read {
  std::vector<LineItem> items;
  std::string digest;
};

Read read_all(const std::filesystem::path& path, std::uint64_t limit) {
  auto reader = JsonlReader::open(path, limit);
  EXPECT_TRUE(reader.has_value());
  Read out;
  if (!reader) return out;
  while (auto item = reader->next()) out.items.push_back(std::move(*item));
  out.digest = reader->finish();
  return out;
}

const Line& line_of(const LineItem& item) { return std::get<Line>(item.outcome); }

struct SplitCase {
  std::string name;
  std::string bytes;
  std::vector<std::string> lines;
};

class Splitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Splitting, LinesNumbersAndDigest) {
  const SplitCase& c = GetParam();
  vt_test::TempTree tree;
  const auto path = tree.file("f.jsonl", c.bytes);
  const Read r = read_all(path, 0);
  ASSERT_EQ(r.items.size(), c.lines.size());
  for (std::size_t i = 0; i < c.lines.size(); ++i) {
    EXPECT_EQ(r.items[i].line_number, i + 1);
    EXPECT_EQ(line_of(r.items[i]).text, c.lines[i]);
    EXPECT_EQ(line_of(r.items[i]).byte_length, c.lines[i].size());
    EXPECT_FALSE(line_of(r.items[i]).over_limit);
  }
  EXPECT_EQ(r.digest, hex_lower(sha256_of(c.bytes)));
}

INSTANTIATE_TEST_SUITE_P(
    Files, Splitting,
    ::testing::Values(
        SplitCase{"empty", "", {}},
        SplitCase{"blank_lines_count", "{}\n\n  \n{}\n", {"{}", "", "  ", "{}"}},
        SplitCase{"truncated_last_line", "a\nbc", {"a", "bc"}},
        SplitCase{"only_line_feeds", "\n\n", {"", ""}},
        SplitCase{"carriage_return_is_content", "a\r\nb\r", {"a\r", "b\r"}},
        SplitCase{"cr_only_file", "x\ry\rz\r", {"x\ry\rz\r"}},
        SplitCase{"nul_bytes", std::string("a\0b\n\0\n", 6), {std::string("a\0b", 3), std::string(1, '\0')}},
        SplitCase{"line_ends_at_buffer_edge", std::string(8191, 'a') + "\nb", {std::string(8191, 'a'), "b"}},
        SplitCase{"feed_first_in_second_block", std::string(8192, 'a') + "\nb\n", {std::string(8192, 'a'), "b"}},
        SplitCase{"line_spans_blocks", "s\n" + std::string(20000, 'q') + "\nt", {"s", std::string(20000, 'q'), "t"}},
        SplitCase{"utf8_across_block_edge", std::string(8191, 'a') + "\xC3\xA9\n", {std::string(8191, 'a') + "\xC3\xA9"}},
        // The same edges at the reader's own buffer size.
        SplitCase{"line_ends_at_reader_buffer_edge", std::string(kBuffer - 1, 'a') + "\nb", {std::string(kBuffer - 1, 'a'), "b"}},
        SplitCase{"feed_first_in_second_reader_buffer", std::string(kBuffer, 'a') + "\nb\n", {std::string(kBuffer, 'a'), "b"}},
        SplitCase{"line_spans_reader_buffers", "s\n" + std::string(2 * kBuffer + 5, 'q') + "\nt",
                  {"s", std::string(2 * kBuffer + 5, 'q'), "t"}},
        SplitCase{"utf8_across_reader_buffer_edge", std::string(kBuffer - 1, 'a') + "\xC3\xA9\n",
                  {std::string(kBuffer - 1, 'a') + "\xC3\xA9"}}),
    [](const auto& info) { return info.param.name; });

struct LimitCase {
  std::string name;
  std::uint64_t limit;
  std::string line;
  bool over;
};

class Limits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(Limits, OverLongLinesKeepOnlyTheirLength) {
  const LimitCase& c = GetParam();
  vt_test::TempTree tree;
  const auto path = tree.file("f.jsonl", c.line + "\n{}\n");
  const Read r = read_all(path, c.limit);
  ASSERT_EQ(r.items.size(), 2u);
  const Line& line = line_of(r.items[0]);
  EXPECT_EQ(line.byte_length, c.line.size());
  EXPECT_EQ(line.over_limit, c.over);
  if (c.over) {
    EXPECT_EQ(line.text, std::string(c.limit + 1, 'x'));
  } else {
    EXPECT_EQ(line.text, c.line);
  }
  EXPECT_EQ(line_of(r.items[1]).text, "{}");
  EXPECT_EQ(r.items[1].line_number, 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Limits,
    ::testing::Values(LimitCase{"exactly_limit", 10, "0123456789", false},
                      LimitCase{"one_over", 10, "0123456789A", true},
                      LimitCase{"million_bytes", 10, std::string(1000000, 'z'), true},
                      LimitCase{"over_and_invalid_utf8", 4, "ab\xFF\xFE\xFDzz", true},
                      LimitCase{"over_across_blocks", 9000, std::string(30000, 'w'), true},
                      LimitCase{"no_limit", 0, std::string(100000, 'n'), false}),
    [](const auto& info) { return info.param.name; });

struct Utf8Case {
  std::string name;
  std::string line;
  std::string error;
};

class InvalidUtf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(InvalidUtf8, IsAReadFailureAndReadingGoesOn) {
  const Utf8Case& c = GetParam();
  vt_test::TempTree tree;
  const auto path = tree.file("f.jsonl", "{}\n" + c.line + "\n{\"k\":1}");
  const Read r = read_all(path, 0);
  ASSERT_EQ(r.items.size(), 3u);
  ASSERT_TRUE(std::holds_alternative<ReadFailure>(r.items[1].outcome));
  EXPECT_EQ(std::get<ReadFailure>(r.items[1].outcome).error, c.error);
  EXPECT_EQ(r.items[1].line_number, 2u);
  EXPECT_EQ(line_of(r.items[2]).text, "{\"k\":1}");
  EXPECT_EQ(r.items[2].line_number, 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, InvalidUtf8,
    ::testing::Values(
        Utf8Case{"stray_byte_mid_line", "{\"a\":\"x\xFFy\"}", "invalid utf-8 sequence of 1 bytes from index 7"},
        Utf8Case{"bad_continuation", "ab\xE2\x82z", "invalid utf-8 sequence of 2 bytes from index 2"},
        Utf8Case{"surrogate", "\xED\xA0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},
        Utf8Case{"overlong", "\xC0\xAF", "invalid utf-8 sequence of 1 bytes from index 0"},
        Utf8Case{"cut_at_line_end", "abcdefghij\xF0\x9F\x98", "incomplete utf-8 byte sequence from index 10"}),
    [](const auto& info) { return info.param.name; });

TEST(JsonlReaderOpen, RefusesWhatIsNotARegularFile) {
  vt_test::TempTree tree;
  const auto fifo = tree.fifo("pipe.jsonl");  // opening it for a blocking read would hang
  const auto dir = tree.dir("d.jsonl");
  struct Case {
    std::filesystem::path path;
    std::string error;
  };
  for (const Case& c : {Case{fifo, "Not a regular file"}, Case{dir, "Is a directory"},
                        Case{tree / "missing.jsonl", "No such file or directory"},
                        Case{tree.file("plain") / "below", "Not a directory"},
                        Case{"/proc/self/mem", "On a proc file system: not read"}}) {
    auto reader = JsonlReader::open(c.path, 0);
    ASSERT_FALSE(reader.has_value()) << c.path;
    EXPECT_EQ(reader.error().kind(), ParseErrorKind::Io);
    EXPECT_EQ(reader.error().text(), "I/O error at " + c.path.string() + ": " + c.error);
  }
}

TEST(JsonlReaderOpen, ClosesItsDescriptor) {
  vt_test::TempTree tree;
  const auto path = tree.file("f.jsonl", "{}\n");
  const int probe_before = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ::close(probe_before);
  { (void)read_all(path, 0); }
  const int probe_after = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ::close(probe_after);
  EXPECT_EQ(probe_before, probe_after);
}

// A file whose every read fails (reading the process's own memory at address
// 0 always does; opened here, since the reader never opens a proc file): the
// reader reports the failures and then stops.
TEST(JsonlReaderFailures, RepeatedReadFailuresEndTheInput) {
  FileHandle memory(::open("/proc/self/mem", O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(memory);
  auto source = ByteSource::from_file(std::move(memory), StoredAs::Plain, "mem");
  ASSERT_TRUE(source.has_value());
  auto reader = std::optional<JsonlReader>(JsonlReader::over(std::move(*source), 0));
  std::vector<LineItem> items;
  while (auto item = reader->next()) {
    items.push_back(std::move(*item));
    ASSERT_LE(items.size(), 100u) << "reader keeps failing without end";
  }
  ASSERT_EQ(items.size(), JsonlReader::kMaxFailuresInRow);
  for (std::size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].line_number, i + 1);
    ASSERT_TRUE(std::holds_alternative<ReadFailure>(items[i].outcome));
    EXPECT_TRUE(std::get<ReadFailure>(items[i].outcome).error.starts_with("Input/output error"));
  }
  EXPECT_NE(std::get<ReadFailure>(items.back().outcome).error.find("giving up"), std::string::npos);
}

}  // namespace
}  // namespace vt
