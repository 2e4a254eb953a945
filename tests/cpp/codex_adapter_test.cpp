// The Codex adapter's refusal of input kinds that belong to another adapter:
// the driver never routes those here, so only a direct call can reach it.
#include <gtest/gtest.h>

#include "codex/codex_adapter.hpp"

namespace {

class CodexForeignKind : public ::testing::TestWithParam<vt::InputKind> {};

TEST_P(CodexForeignKind, IsRefusedByName) {
  const vt::InputKind kind = GetParam();
  auto result = vt::codex::parse_input("/nonexistent/.codex", kind, "/nonexistent", vt::ParseOptions{});
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind(), vt::ParseErrorKind::Message);
  EXPECT_EQ(result.error().text(),
            "Codex adapter does not support input kind " + std::string(vt::input_kind_name(kind)) + ".");
}

INSTANTIATE_TEST_SUITE_P(AllForeignKinds, CodexForeignKind,
                         ::testing::Values(vt::InputKind::Auto, vt::InputKind::ClaudeRoot,
                                           vt::InputKind::History, vt::InputKind::PasteCache,
                                           vt::InputKind::ImageCache, vt::InputKind::FileHistory));

TEST(CodexForeignKind, HistoryIsNamedHistory) {
  auto result = vt::codex::parse_input("x", vt::InputKind::History, "", vt::ParseOptions{});
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().text(), "Codex adapter does not support input kind History.");
}

TEST(CodexOwnKinds, MissingRootYieldsNothing) {
  auto result = vt::codex::parse_input("/nonexistent/.codex", vt::InputKind::CodexRoot, "/nonexistent/.codex",
                                       vt::ParseOptions{});
  ASSERT_TRUE(result.has_value());
  EXPECT_TRUE(result->events.empty());
  EXPECT_TRUE(result->diagnostics.empty());
}

}  // namespace
