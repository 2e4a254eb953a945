// The Codex adapter's refusal of input kinds that belong to another adapter:
// the driver never routes those here, so only a direct call can reach it.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "codex/codex_adapter.hpp"

namespace {

class CodexForeignKind : public ::testing::TestWithParam<std::pair<vt::InputKind, std::string>> {};

TEST_P(CodexForeignKind, IsRefusedByName) {
  auto result = vt::codex::parse_input("/nonexistent/.codex", GetParam().first, "/nonexistent", vt::ParseOptions{});
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind(), vt::ParseErrorKind::Message);
  EXPECT_EQ(result.error().text(), "Codex adapter does not support input kind " + GetParam().second + ".");
}

INSTANTIATE_TEST_SUITE_P(
    AllForeignKinds, CodexForeignKind,
    ::testing::Values(std::pair{vt::InputKind::Auto, std::string("Auto")},
                      std::pair{vt::InputKind::ClaudeRoot, std::string("ClaudeRoot")},
                      std::pair{vt::InputKind::History, std::string("History")},
                      std::pair{vt::InputKind::PasteCache, std::string("PasteCache")},
                      std::pair{vt::InputKind::ImageCache, std::string("ImageCache")},
                      std::pair{vt::InputKind::FileHistory, std::string("FileHistory")}));

TEST(CodexOwnKinds, MissingRootYieldsNothing) {
  auto result = vt::codex::parse_input("/nonexistent/.codex", vt::InputKind::CodexRoot, "/nonexistent/.codex",
                                       vt::ParseOptions{});
  ASSERT_TRUE(result.has_value());
  EXPECT_TRUE(result->events.empty() && result->diagnostics.empty());
}

}  // namespace
