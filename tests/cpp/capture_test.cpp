// Whole-file capture: digest, media type, inline content and file times, and
// the warnings for files that cannot be captured.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core_temp_tree.hpp"
#include "hash/base64.hpp"
#include "hash/capture.hpp"
#include "hash/sha256.hpp"

namespace vt {
namespace {

const std::string kPng("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);

std::optional<CapturedFile> capture(const std::filesystem::path& path, ParseOptions options,
                                    std::vector<Diagnostic>& diagnostics) {
  return capture_file(path, "rel/" + path.filename().string(), ArtifactKind::Attachment, options,
                      diagnostics);
}

ParseOptions with_content(std::uint64_t max_content_size) {
  ParseOptions options;
  options.include_content = true;
  options.max_content_size = max_content_size;
  return options;
}

struct ContentCase {
  std::string name;
  std::string bytes;
  std::uint64_t max;
  std::optional<ContentEncoding> encoding;  // absent: no content expected
};

class Content : public ::testing::TestWithParam<ContentCase> {};

TEST_P(Content, InlinedUnderTheBoundAsTextOrBase64) {
  const ContentCase& c = GetParam();
  vt_test::TempTree tree;
  const auto path = tree.file("file.bin", c.bytes);
  std::vector<Diagnostic> diagnostics;
  auto got = capture(path, with_content(c.max), diagnostics);
  ASSERT_TRUE(got.has_value());
  EXPECT_TRUE(diagnostics.empty());
  EXPECT_EQ(got->size, c.bytes.size());
  EXPECT_EQ(got->sha256, hex_lower(sha256_of(c.bytes)));
  EXPECT_EQ(got->content_encoding, c.encoding);
  if (!c.encoding) {
    EXPECT_FALSE(got->content.has_value());
  } else if (*c.encoding == ContentEncoding::Utf8) {
    EXPECT_EQ(got->content, c.bytes);
  } else {
    EXPECT_EQ(got->content, base64_encode(c.bytes));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Content,
    ::testing::Values(
        ContentCase{"empty", "", 4, ContentEncoding::Utf8},
        ContentCase{"at_bound", "abcd", 4, ContentEncoding::Utf8},
        ContentCase{"over_bound", "abcde", 4, std::nullopt},
        ContentCase{"no_bound", std::string(200000, 'z'), 0, ContentEncoding::Utf8},
        ContentCase{"png", kPng, 0, ContentEncoding::Base64},
        ContentCase{"one_bad_byte", "caf\xC3\xA9 au lait \xFF!", 0, ContentEncoding::Base64},
        ContentCase{"multi_block_text", std::string(70000, 'a') + "\xE2\x82\xAC", 0, ContentEncoding::Utf8}),
    [](const auto& info) { return info.param.name; });

TEST(Capture, NoContentUnlessAsked) {
  vt_test::TempTree tree;
  std::vector<Diagnostic> diagnostics;
  auto got = capture(tree.file("a.txt", "hello"), ParseOptions{}, diagnostics);
  ASSERT_TRUE(got.has_value());
  EXPECT_FALSE(got->content.has_value());
  EXPECT_FALSE(got->content_encoding.has_value());
  EXPECT_EQ(got->sha256, "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824");
}

TEST(Base64, StandardAlphabetWithPadding) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {std::string("\xFB\xFF\xBF", 3), "+/+/"}};
  for (const auto& [bytes, text] : vectors) EXPECT_EQ(base64_encode(bytes), text);
}

struct MediaCase {
  std::string file_name;
  std::optional<std::string> type;
};

class MediaTypes : public ::testing::TestWithParam<MediaCase> {};

TEST_P(MediaTypes, ByExtensionIgnoringCase) {
  EXPECT_EQ(media_type_for(GetParam().file_name), GetParam().type) << GetParam().file_name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, MediaTypes,
    ::testing::Values(
        MediaCase{"a.png", "image/png"}, MediaCase{"a.jpg", "image/jpeg"}, MediaCase{"a.JPEG", "image/jpeg"},
        MediaCase{"a.gif", "image/gif"}, MediaCase{"a.webp", "image/webp"}, MediaCase{"a.svg", "image/svg+xml"},
        MediaCase{"a.bmp", "image/bmp"}, MediaCase{"NOTES.TXT", "text/plain"}, MediaCase{"run.log", "text/plain"},
        MediaCase{"tool.py", "text/plain"}, MediaCase{"README.md", "text/markdown"},
        MediaCase{"x.json", "application/json"}, MediaCase{"doc.pdf", "application/pdf"},
        MediaCase{"i.html", "text/html"}, MediaCase{"t.csv", "text/csv"},
        MediaCase{"main.ts", "video/vnd.dlna.mpeg-tts"}, MediaCase{"a.tar.gz", "application/gzip"},
        MediaCase{"..png", "image/png"}, MediaCase{"x.jsonl", std::nullopt}, MediaCase{".env", std::nullopt},
        MediaCase{"Makefile", std::nullopt}, MediaCase{"trailing.", std::nullopt},
        MediaCase{"odd.p\xFFng", std::nullopt}, MediaCase{"dir.png/file", std::nullopt}));

TEST(Capture, FileTimesWithNanosecondsAndNothingBefore1970) {
  vt_test::TempTree tree;
  const auto recent = tree.file("recent.txt", "r");
  const auto old = tree.file("old.txt", "o");
  const timespec recent_times[2] = {{1700000000, 5}, {1700000001, 123456789}};
  const timespec old_times[2] = {{1600000000, 0}, {-86400, 500}};
  ASSERT_EQ(::utimensat(AT_FDCWD, recent.c_str(), recent_times, 0), 0);
  ASSERT_EQ(::utimensat(AT_FDCWD, old.c_str(), old_times, 0), 0);

  std::vector<Diagnostic> diagnostics;
  auto r = capture(recent, ParseOptions{}, diagnostics);
  auto o = capture(old, ParseOptions{}, diagnostics);
  ASSERT_TRUE(r && o);
  ASSERT_TRUE(r->fs_times.modified && r->fs_times.accessed);
  EXPECT_EQ(r->fs_times.modified->text(), "2023-11-14T22:13:21.123456789Z");
  EXPECT_EQ(r->fs_times.accessed->text(), "2023-11-14T22:13:20.000000005Z");
  EXPECT_FALSE(o->fs_times.modified.has_value());
  ASSERT_TRUE(o->fs_times.accessed.has_value());
  EXPECT_EQ(o->fs_times.accessed->text(), "2020-09-13T12:26:40Z");
  if (r->fs_times.created) {
    // Creation is now: not before the test began, not in the far future.
    EXPECT_GT(r->fs_times.created->unix_seconds(), 1700000000);
  }
}

struct Unreadable {
  std::string name;
  std::string message;
};

TEST(Capture, UnreadableFilesGiveOneWarningAndNoCapture) {
  vt_test::TempTree tree;
  tree.file("plain", "x");
  tree.link("dangling", tree / "gone");
  tree.link("loop_a", tree / "loop_b");
  tree.link("loop_b", tree / "loop_a");
  tree.fifo("pipe.png");
  tree.dir("folder.txt");
  const std::vector<Unreadable> cases = {
      {"missing", "Cannot read metadata: No such file or directory"},
      {"plain/below", "Cannot read metadata: Not a directory"},
      {"dangling", "Cannot read metadata: No such file or directory"},
      {"loop_a", "Cannot read metadata: Too many levels of symbolic links"},
      {"pipe.png", "SHA-256 computation failed: Not a regular file"},
      {"folder.txt", "SHA-256 computation failed: Is a directory"},
  };
  for (const Unreadable& c : cases) {
    std::vector<Diagnostic> diagnostics;
    auto got = capture_file(tree / c.name, "rel/" + c.name, ArtifactKind::PasteCache, with_content(0), diagnostics);
    EXPECT_FALSE(got.has_value()) << c.name;
    ASSERT_EQ(diagnostics.size(), 1u) << c.name;
    const Diagnostic& d = diagnostics[0];
    EXPECT_EQ(d.message, c.message);
    EXPECT_EQ(d.code, DiagnosticCode::UnreadableArtifact);
    EXPECT_EQ(d.severity, Severity::Warning);
    ASSERT_TRUE(d.source.has_value());
    EXPECT_EQ(d.source->artifact_kind, ArtifactKind::PasteCache);
    EXPECT_EQ(d.source->relative_path, "rel/" + c.name);
    EXPECT_FALSE(d.source->line_number.has_value());
  }
}

TEST(Sha256File, StreamsWholeFilesAndRefusesOthers) {
  vt_test::TempTree tree;
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 31));
  EXPECT_EQ(sha256_file(tree.file("big.bin", bytes)), hex_lower(sha256_of(bytes)));
  EXPECT_EQ(sha256_file(tree.file("empty", "")), hex_lower(sha256_of("")));
  const auto fifo = sha256_file(tree.fifo("pipe"));
  ASSERT_FALSE(fifo.has_value());
  EXPECT_EQ(fifo.error().message(), "Not a regular file");
}

}  // namespace
}  // namespace vt
