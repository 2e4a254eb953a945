// Event identifiers and the digest helpers they are built on.
#include <gtest/gtest.h>

#include <string>

#include "hash/event_id.hpp"
#include "hash/sha256.hpp"

namespace vt {
namespace {

struct KnownId {
  Provider provider;
  ArtifactKind kind;
  const char* path;
  const char* key;
  std::optional<std::uint64_t> ordinal;
  const char* expected;
};

class EventIdKnownAnswer : public ::testing::TestWithParam<KnownId> {};

// Expected values computed independently from the byte layout
// provider \0 kind \0 path \0 key \0 [ordinal], hashed twice.
TEST_P(EventIdKnownAnswer, MatchesDoubleDigest) {
  const KnownId& c = GetParam();
  EXPECT_EQ(event_id_for(c.provider, c.kind, c.path, c.key, c.ordinal), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, EventIdKnownAnswer,
    ::testing::Values(
        KnownId{Provider::Codex, ArtifactKind::History, "history.jsonl", "codex_history:1",
                std::nullopt, "5586078756733624ac106a9ab809e832304d179ee925820c4f643e05aae6b464"},
        KnownId{Provider::ClaudeCode, ArtifactKind::History, "history.jsonl", "history:3:paste:1",
                2, "ac3d0ca487db8132f3e34cab73da03b93c9173172bb192b94b4a17f87c5ca6d5"},
        KnownId{Provider::Codex, ArtifactKind::Session, "sessions/2025/rollout-a.jsonl",
                "session:7", 0, "8eb0d5c38a45a68b26cc59ed558b93e7b456d32052e312b6c56a4c595a494c33"}));

TEST(EventId, BackslashesHashLikeForwardSlashes) {
  EXPECT_EQ(event_id_for(Provider::Codex, ArtifactKind::Session, "sessions\\2025\\a.jsonl", "k"),
            event_id_for(Provider::Codex, ArtifactKind::Session, "sessions/2025/a.jsonl", "k"));
}

TEST(EventId, EveryInputSeparatesIdentifiers) {
  const std::string base = event_id_for(Provider::Codex, ArtifactKind::History, "h.jsonl", "codex_history:1");
  EXPECT_NE(base, event_id_for(Provider::Codex, ArtifactKind::History, "h.jsonl", "codex_history:1", 0));
  EXPECT_NE(event_id_for(Provider::Codex, ArtifactKind::History, "h.jsonl", "codex_history:1", 0),
            event_id_for(Provider::Codex, ArtifactKind::History, "h.jsonl", "codex_history:1", 1));
  EXPECT_NE(base, event_id_for(Provider::Codex, ArtifactKind::History, "h.jsonl", "codex_history:2"));
  EXPECT_NE(base, event_id_for(Provider::ClaudeCode, ArtifactKind::History, "h.jsonl", "codex_history:1"));
  EXPECT_NE(base, event_id_for(Provider::Codex, ArtifactKind::Session, "h.jsonl", "codex_history:1"));
  // The zero bytes keep the fields apart: moving a character across a border changes the id.
  EXPECT_NE(event_id_for(Provider::Codex, ArtifactKind::History, "ab", "c"),
            event_id_for(Provider::Codex, ArtifactKind::History, "a", "bc"));
}

// One maker serves a reader's whole run: the shared part it keeps from the
// previous identifier must be dropped whenever provider, kind or path change,
// back and forth, and also when only a backslash or the length differs.
TEST(EventId, OneMakerAgreesWithOneShotIdentifiers) {
  struct Call {
    Provider provider;
    ArtifactKind kind;
    const char* path;
    const char* key;
    std::optional<std::uint64_t> ordinal;
  };
  const std::string long_path(150, 'p');  // the shared part spans whole blocks
  const std::string long_key(200, 'k');
  const Call calls[] = {
      {Provider::Codex, ArtifactKind::Session, "sessions/a.jsonl", "session:1", std::nullopt},
      {Provider::Codex, ArtifactKind::Session, "sessions/a.jsonl", "session:2", std::nullopt},
      {Provider::Codex, ArtifactKind::Session, "sessions/a.jsonl", "session:2", 0},
      {Provider::Codex, ArtifactKind::Session, "sessions/b.jsonl", "session:1", std::nullopt},
      {Provider::Codex, ArtifactKind::Session, "sessions/a.jsonl", "session:1", std::nullopt},
      {Provider::Codex, ArtifactKind::History, "sessions/a.jsonl", "session:1", std::nullopt},
      {Provider::ClaudeCode, ArtifactKind::History, "sessions/a.jsonl", "session:1", std::nullopt},
      {Provider::ClaudeCode, ArtifactKind::History, "sessions\\a.jsonl", "session:1", 18446744073709551615u},
      {Provider::ClaudeCode, ArtifactKind::History, "sessions/a.jsonl.", "", std::nullopt},
      {Provider::ClaudeCode, ArtifactKind::Transcript, long_path.c_str(), "k", 3},
      {Provider::ClaudeCode, ArtifactKind::Transcript, long_path.c_str(), long_key.c_str(), 4},
      {Provider::ClaudeCode, ArtifactKind::Transcript, "", "k", std::nullopt},
  };
  EventIds ids;
  for (const Call& c : calls) {
    const EventIdText made = ids.make(c.provider, c.kind, c.path, c.key, c.ordinal);
    EXPECT_EQ(made.size(), 64u);
    EXPECT_EQ(made.str(), event_id_for(c.provider, c.kind, c.path, c.key, c.ordinal)) << c.path << " " << c.key;
  }
  // The known answer of the first vector, after a maker has served others.
  EXPECT_EQ(ids.make(Provider::Codex, ArtifactKind::History, "history.jsonl", "codex_history:1").str(),
            "5586078756733624ac106a9ab809e832304d179ee925820c4f643e05aae6b464");
}

TEST(Digest, HexAndIncrementalHashing) {
  EXPECT_EQ(hex_lower(sha256_of("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hex_lower(sha256_of("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  Digest d{};
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(i * 9);
  EXPECT_EQ(hex_lower(d), "0009121b242d363f48515a636c757e879099a2abb4bdc6cfd8e1eaf3fc050e17");

  const std::string text = "The quick brown fox jumps over the lazy dog";
  for (std::size_t split : {0u, 1u, 20u, 43u}) {
    Sha256 running;
    running.update(text.substr(0, split));
    running.update(text.substr(split));
    EXPECT_EQ(hex_lower(running.finish()), hex_lower(sha256_of(text))) << split;
    // A copy carries on from the same state, independently of the original.
    Sha256 head;
    head.update(text.substr(0, split));
    Sha256 copy = head;
    head.update("different");
    copy.update(text.substr(split));
    EXPECT_EQ(hex_lower(copy.finish()), hex_lower(sha256_of(text))) << split;
    EXPECT_EQ(hex_lower(head.finish()), hex_lower(sha256_of(text.substr(0, split) + "different"))) << split;
  }
}

}  // namespace
}  // namespace vt
