// SHA-256 compressions side by side, held to OpenSSL's digests, and event
// identifiers made in batches, held to those made one at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/records.hpp"
#include "hash/event_id.hpp"
#include "hash/sha256.hpp"
#include "hash/sha256_lanes.hpp"

namespace vt {
namespace {

// `text` padded to whole blocks as SHA-256 pads its message.
std::vector<std::uint8_t> padded(const std::string& text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0x80);
  while (bytes.size() % 64 != 56) bytes.push_back(0);
  const std::uint64_t bits = text.size() * 8;
  for (int i = 7; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  return bytes;
}

Digest digest_of(const std::uint32_t state[8]) {
  Digest d{};
  for (int w = 0; w < 8; ++w) {
    for (int b = 0; b < 4; ++b) d[4 * w + b] = static_cast<std::uint8_t>(state[w] >> (24 - 8 * b));
  }
  return d;
}

// A message of `size` bytes that differs from lane to lane.
std::string message(std::size_t size, std::size_t lane) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 31 + lane * 7 + size) & 0xFF);
  return text;
}

// Every lane count, messages of one to four blocks of different lengths in
// the same call (lanes drop out as their messages end), against OpenSSL.
void expect_lanes_agree(LaneWay way) {
  const std::size_t sizes[] = {0, 1, 3, 31, 32, 54, 55, 56, 57, 63, 64, 65, 100, 119, 120, 127, 128, 200};
  for (std::size_t lanes = 1; lanes <= 12; ++lanes) {
    for (std::size_t shift = 0; shift < std::size(sizes); ++shift) {
      std::vector<std::string> texts;
      std::vector<std::vector<std::uint8_t>> blocks;
      std::vector<std::array<std::uint32_t, 8>> states(lanes);
      for (std::size_t l = 0; l < lanes; ++l) {
        texts.push_back(message(sizes[(shift + l) % std::size(sizes)], l));
        blocks.push_back(padded(texts.back()));
        std::copy(std::begin(kSha256Initial), std::end(kSha256Initial), states[l].begin());
      }
      for (std::size_t at = 0;; at += 64) {
        std::vector<std::uint32_t*> state_of;
        std::vector<const std::uint8_t*> block_of;
        for (std::size_t l = 0; l < lanes; ++l) {
          if (at < blocks[l].size()) {
            state_of.push_back(states[l].data());
            block_of.push_back(blocks[l].data() + at);
          }
        }
        if (state_of.empty()) break;
        sha256_compress_lanes(state_of.data(), block_of.data(), state_of.size(), way);
      }
      for (std::size_t l = 0; l < lanes; ++l) {
        EXPECT_EQ(hex_lower(digest_of(states[l].data())), hex_lower(sha256_of(texts[l])))
            << "way " << static_cast<int>(way) << ", " << lanes << " lanes, lane " << l << ", "
            << texts[l].size() << " bytes";
      }
    }
  }
}

// Each way this processor has (the plain one everywhere).
TEST(Sha256Lanes, AgreeWithOneDigestAtATime) {
  EXPECT_TRUE(lane_way_available(LaneWay::Plain));
  EXPECT_TRUE(lane_way_available(best_lane_way()));
  for (LaneWay way : {LaneWay::Plain, LaneWay::Avx2, LaneWay::ShaExtensions}) {
    if (lane_way_available(way)) expect_lanes_agree(way);
  }
}

// Every byte value, in both halves of a digest, against printf's digits.
TEST(Sha256Lanes, HexDigitsOfEveryByte) {
  for (std::size_t start = 0; start < 256; start += 32) {
    Digest d{};
    std::string expected;
    for (std::size_t i = 0; i < d.size(); ++i) {
      d[i] = static_cast<std::uint8_t>(start + i);
      char two[3];
      std::snprintf(two, sizeof two, "%02x", d[i]);
      expected += two;
    }
    EXPECT_EQ(hex_lower(d), expected) << start;
  }
}

struct IdCase {
  Provider provider;
  ArtifactKind kind;
  std::string path;
  std::string key;
  std::optional<std::uint64_t> ordinal;
};

// Paths whose shared part leaves 0 to 63 bytes in its last block, with keys
// from empty to several blocks long: the rest of the first digest is one
// block, two (the padding does not fit), or more.
std::vector<IdCase> id_cases() {
  std::vector<IdCase> cases;
  for (std::size_t path_size : {0u, 1u, 30u, 40u, 47u, 48u, 49u, 63u, 64u, 90u, 150u}) {
    const std::string path = "sessions/" + std::string(path_size, 'p') + ".jsonl";
    for (std::size_t key_size : {0u, 1u, 8u, 16u, 30u, 41u, 55u, 70u, 130u, 260u}) {
      const std::string key = "codex_session:" + std::string(key_size, '7');
      cases.push_back({Provider::Codex, ArtifactKind::Session, path, key, std::nullopt});
      cases.push_back({Provider::ClaudeCode, ArtifactKind::Transcript, path, key, key_size});
      cases.push_back({Provider::ClaudeCode, ArtifactKind::Transcript, path, key, 18446744073709551615u});
    }
  }
  cases.push_back({Provider::Codex, ArtifactKind::Session, "sessions\\2025\\a.jsonl", "k", 0});
  return cases;
}

// Batches of every size around the lane count, each way this processor has;
// the events are put out of their order of making before the fill, which
// must find each one's text.
void expect_batches_agree(LaneWay way) {
  const std::vector<IdCase> cases = id_cases();
  for (std::size_t batch : {1u, 2u, 7u, 8u, 9u, 16u, 17u, 331u}) {
    EventIds deferring(way);
    EventIds direct;
    std::vector<Event> events;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const IdCase& c = cases[i];
      Event event;
      event.event_id = deferring.defer(c.provider, c.kind, c.path, c.key, c.ordinal);
      event.sequence = i;
      events.push_back(event);
      expected.push_back(direct.make(c.provider, c.kind, c.path, c.key, c.ordinal).str());
      if (events.size() == batch || i + 1 == cases.size()) {
        std::reverse(events.begin(), events.end());
        deferring.fill(events);
        for (const Event& e : events) {
          EXPECT_EQ(e.event_id.view(), expected[e.sequence])
              << "way " << static_cast<int>(way) << ", batch " << batch << ": " << cases[e.sequence].path << " " << cases[e.sequence].key;
        }
        events.clear();
      }
    }
  }
}

TEST(EventIdBatches, AgreeWithIdentifiersMadeOneAtATime) {
  for (LaneWay way : {LaneWay::Plain, LaneWay::Avx2, LaneWay::ShaExtensions}) {
    if (lane_way_available(way)) expect_batches_agree(way);
  }
}

TEST(EventIdBatches, EventsWithoutPlaceholdersAreLeftAlone) {
  EventIds ids(LaneWay::Plain);
  std::vector<Event> events(3);
  events[0].event_id = "given";
  events[1].event_id = ids.defer(Provider::Aider, ArtifactKind::History, "a.md", "block:1");
  ids.fill(events);
  EXPECT_EQ(events[0].event_id.view(), "given");
  EXPECT_EQ(events[1].event_id.view(), event_id_for(Provider::Aider, ArtifactKind::History, "a.md", "block:1"));
  EXPECT_TRUE(events[2].event_id.empty());
}

TEST(EventIdBatches, AnUnfilledIdentifierIsNeverReadAsText) {
  const EventIdText pending = EventIdText::placeholder(5);
  EXPECT_TRUE(pending.is_placeholder());
  EXPECT_EQ(pending.ticket(), 5u);
#ifdef VT_CHECK_EVENT_IDS
  EXPECT_DEATH((void)pending.view(), "read before it was computed");
#else
  EXPECT_TRUE(pending.view().empty());
#endif
}

}  // namespace
}  // namespace vt
