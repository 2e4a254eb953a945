// Whole-file capture where the attachment walk cannot lead: files that cannot
// be captured (links, FIFOs, directories), the digest helper and Base64.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_temp_tree.hpp"
#include "hash/base64.hpp"
#include "hash/capture.hpp"
#include "hash/sha256.hpp"

namespace vt {
namespace {

ParseOptions with_content(std::uint64_t max_content_size) {
  ParseOptions options;
  options.include_content = true;
  options.max_content_size = max_content_size;
  return options;
}

TEST(Base64, StandardAlphabetWithPadding) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {std::string("\xFB\xFF\xBF", 3), "+/+/"}};
  for (const auto& [bytes, text] : vectors) EXPECT_EQ(base64_encode(bytes), text);
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
