#include "output/session_report/session_model.hpp"

#include <algorithm>
#include <map>

#include "output/session_report/page_names.hpp"
#include "output/session_report/session_builder.hpp"

namespace vt::report {

namespace {

using Key = std::pair<Provider, std::string>;

void note_fact(SessionFacts& facts, const Event& event) {
  const std::string_view type = record_type(event);
  if (event.provider == Provider::Codex) {
    if (event.source.artifact_kind == ArtifactKind::Session) facts.has_rollout = true;
    if (type == "event_msg/user_message" && event.message) {
      facts.has_typed_events = true;
      facts.typed_texts.insert(event.message->str());
    }
    return;
  }
  if (event.provider == Provider::ClaudeCode) {
    if (event.source.artifact_kind == ArtifactKind::Transcript) {
      facts.has_transcript = true;
      if (type == "user/text" && event.message) facts.typed_texts.insert(event.message->str());
    }
    return;
  }
  if (event.source.artifact_kind == ArtifactKind::History) return;
  facts.has_conversation = true;
  if (event.event_type == EventType::PromptInput && event.origin != PromptOrigin::Injected &&
      event.origin != PromptOrigin::Command && event.message) {
    facts.typed_texts.insert(event.message->str());
  }
}

}  // namespace

bool hidden_kind(ItemKind kind) { return kind == ItemKind::Context || kind == ItemKind::Housekeeping; }

std::string_view kind_label(ItemKind kind) {
  switch (kind) {
    case ItemKind::Prompt: return "prompt";
    case ItemKind::AgentMessage: return "agent";
    case ItemKind::Reasoning: return "reasoning";
    case ItemKind::ToolCall: return "tool";
    case ItemKind::ToolResult: return "result";
    case ItemKind::Attachment: return "attachment";
    case ItemKind::Compaction: return "compaction";
    case ItemKind::Error: return "error";
    case ItemKind::Injected: return "attached";
    case ItemKind::Context: return "context";
    case ItemKind::Housekeeping: return "record";
  }
  return "record";
}

std::string Place::text() const {
  return line ? path + ":" + std::to_string(*line) : path;
}

ShownText shown_whole(std::string_view text) {
  ShownText shown;
  shown.text = std::string(text);
  shown.full_bytes = text.size();
  shown.full_characters = character_count(text);
  shown.full_lines = line_count(text);
  return shown;
}

ShownText shown_cut(std::string_view text) {
  ShownText shown = shown_whole(text);
  std::size_t characters = 0, lines = 0, end = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) == 0x80) continue;
    if (characters == kResultCharLimit || lines == kResultLineLimit) {
      end = i;
      break;
    }
    ++characters;
    if (c == '\n') ++lines;
  }
  if (end < text.size()) {
    shown.text.resize(end);
    shown.cut = true;
  }
  return shown;
}

std::vector<Session> build_sessions(const Report& report, const ModelOptions& options) {
  std::map<Key, std::size_t> index;
  std::vector<std::vector<std::size_t>> members;
  std::vector<SessionFacts> facts;
  std::vector<Session> sessions;
  for (std::size_t i = 0; i < report.events.size(); ++i) {
    const Event& event = report.events[i];
    if (!event.session_id) continue;
    auto [found, added] = index.try_emplace(Key{event.provider, event.session_id->str()}, sessions.size());
    if (added) {
      Session& session = sessions.emplace_back();
      session.provider = event.provider;
      session.id = event.session_id->str();
      members.emplace_back();
      facts.emplace_back();
    }
    members[found->second].push_back(i);
    note_fact(facts[found->second], event);
  }
  PageNames names;
  for (std::size_t s = 0; s < sessions.size(); ++s) {
    sessions[s].page_stem = names.claim(wire_name(sessions[s].provider), sessions[s].id);
    sessions[s].history_only = !facts[s].has_transcript && !facts[s].has_rollout && !facts[s].has_conversation;
    SessionBuilder builder(sessions[s], std::move(facts[s]), options);
    for (const std::size_t i : members[s]) builder.add(report.events[i]);
    builder.finish();
  }
  return sessions;
}

std::uint64_t sessionless_events(const Report& report) {
  return static_cast<std::uint64_t>(
      std::ranges::count_if(report.events, [](const Event& event) { return !event.session_id; }));
}

}  // namespace vt::report
