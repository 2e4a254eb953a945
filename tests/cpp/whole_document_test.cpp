// The one reader of files that hold a whole document: the bound (a last
// line feed does not count, as a line's does not), the exact size named
// past it, the digest of every byte either way, invalid UTF-8 and what the
// diagnostics say.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core_temp_tree.hpp"
#include "hash/sha256.hpp"
#include "jsonl/whole_document.hpp"

namespace vt {
namespace {

struct DocumentCase {
  std::string name;
  std::string bytes;
  std::uint64_t limit;
  std::optional<std::string> text;  // the text read, or nothing when it was not
  std::uint64_t size;
  std::optional<std::string> diagnostic;  // "code severity: message" of `unread_document`
};

class WholeDocuments : public ::testing::TestWithParam<DocumentCase> {};

std::string shown(const Diagnostic& d) {
  return std::string(wire_name(d.code)) + " " + std::string(wire_name(d.severity)) + ": " + d.message;
}

TEST_P(WholeDocuments, BoundSizeDigestAndDiagnostic) {
  const DocumentCase& c = GetParam();
  vt_test::TempTree tree;
  const auto path = tree.file("doc.json", c.bytes);
  ParseOptions options;
  options.max_line_size = c.limit;
  auto document = read_whole_document(path, options);
  ASSERT_TRUE(document.has_value());
  EXPECT_EQ(document->sha256, hex_lower(sha256_of(c.bytes)));
  EXPECT_EQ(document->size, c.size);
  if (c.text) {
    EXPECT_EQ(document->text, *c.text);
    EXPECT_FALSE(document->too_large);
    EXPECT_FALSE(document->failure);
  } else {
    EXPECT_TRUE(document->text.empty());
  }
  const auto unread = unread_document(*document, "session document",
                                      SourceRef{ArtifactKind::Unknown, std::nullopt, SharedString("doc.json"),
                                                std::nullopt, std::nullopt},
                                      c.limit);
  ASSERT_EQ(unread.has_value(), c.diagnostic.has_value());
  if (unread) EXPECT_EQ(shown(*unread), *c.diagnostic);
}

const std::string kBig(300000, 'x');  // several reads past any bound below

INSTANTIATE_TEST_SUITE_P(
    Files, WholeDocuments,
    ::testing::Values(
        DocumentCase{"empty", "", 10, "", 0, std::nullopt},
        DocumentCase{"last_feed_left_out", "{\"a\": 1}\n", 100, "{\"a\": 1}", 8, std::nullopt},
        DocumentCase{"lines_and_crlf_kept", "[1,\r\n2]\r\n", 100, "[1,\r\n2]\r", 8, std::nullopt},
        DocumentCase{"only_one_feed_left_out", "[]\n\n", 100, "[]\n", 3, std::nullopt},
        DocumentCase{"exactly_the_bound", "0123456789", 10, "0123456789", 10, std::nullopt},
        DocumentCase{"the_bound_and_its_feed", "0123456789\n", 10, "0123456789", 10, std::nullopt},
        DocumentCase{"one_past_the_bound", "0123456789A", 10, std::nullopt, 11,
                     "invalid_json warning: Session document size 11 exceeds max_line_size 10, skipping."},
        DocumentCase{"one_past_the_bound_and_a_feed", "0123456789A\n", 10, std::nullopt, 11,
                     "invalid_json warning: Session document size 11 exceeds max_line_size 10, skipping."},
        DocumentCase{"far_past_the_bound", kBig + "\n", 1000, std::nullopt, kBig.size(),
                     "invalid_json warning: Session document size 300000 exceeds max_line_size 1000, skipping."},
        DocumentCase{"no_bound", kBig, 0, kBig, kBig.size(), std::nullopt},
        DocumentCase{"invalid_utf8", "[\"ok\",\n\"\xff\"]", 100, std::nullopt, 11,
                     "unreadable_artifact error: Failed to read session document: invalid utf-8 sequence of 1 "
                     "bytes from index 8"},
        DocumentCase{"cut_utf8_at_the_end", "\"\xD0", 100, std::nullopt, 2,
                     "unreadable_artifact error: Failed to read session document: incomplete utf-8 byte sequence "
                     "from index 1"}),
    [](const ::testing::TestParamInfo<DocumentCase>& info) { return info.param.name; });

TEST(WholeDocuments, NotARegularFileIsTheIoErrorOfItsPath) {
  vt_test::TempTree tree;
  const auto folder = tree.dir("folder.json");
  ParseOptions options;
  auto document = read_whole_document(folder, options);
  ASSERT_FALSE(document.has_value());
  EXPECT_NE(document.error().text().find("folder.json"), std::string::npos) << document.error().text();
}

}  // namespace
}  // namespace vt
