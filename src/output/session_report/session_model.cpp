#include "output/session_report/session_model.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <span>

#include "core/conversations.hpp"
#include "output/session_report/page_names.hpp"
#include "output/session_report/session_builder.hpp"

namespace vt::report {

namespace {

using Key = std::pair<Provider, std::string>;

// Whether a session has more than the prompt history: a conversation was read.
bool beyond_history(const Event& event) {
  switch (event.provider) {
    case Provider::ClaudeCode: return event.source.artifact_kind == ArtifactKind::Transcript;
    case Provider::Codex: return event.source.artifact_kind == ArtifactKind::Session;
    default: return event.source.artifact_kind != ArtifactKind::History;
  }
}

// What a session's events say before its items are built: whether a
// conversation was read, and the texts of the prompts counted as typed (their
// typed blocks), so that a copy read earlier joins the prompt read later.
SessionFacts session_facts(const Report& report, const std::vector<std::size_t>& members, const CountRule& rule) {
  SessionFacts facts;
  for (const std::size_t i : members) {
    facts.has_conversation |= beyond_history(report.events[i]);
    if (rule[i].as == CountedAs::TypedPrompt) facts.typed_places.insert(place_key(report.events[i]));
  }
  for (const std::size_t i : members) {
    const Event& event = report.events[i];
    if (event.event_type != EventType::PromptInput || event.origin != PromptOrigin::Typed || !event.message) continue;
    if (facts.typed_places.contains(place_key(event))) facts.typed_texts.insert(event.message->str());
  }
  return facts;
}

std::vector<SessionLink> links_to(const std::vector<std::string>& ids, Provider provider,
                                  const std::map<Key, std::size_t>& index, const std::vector<Session>& sessions) {
  std::vector<SessionLink> links;
  for (const std::string& id : ids) {
    const auto found = index.find(Key{provider, id});
    links.push_back(SessionLink{id, found == index.end() ? std::string() : sessions[found->second].page_stem});
  }
  return links;
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

SessionList build_sessions(const Report& report, const ModelOptions& options) {
  const CountRule rule{std::span<const Event>(report.events)};
  const Conversations threads = tie_conversations(report.events);
  std::map<Key, std::size_t> index;
  std::vector<std::vector<std::size_t>> members;
  SessionList list;
  std::vector<Session>& sessions = list.sessions;
  for (std::size_t i = 0; i < report.events.size(); ++i) {
    const Event& event = report.events[i];
    const OptionalShared& session_id = threads.session_of[i];
    if (!session_id) {
      ++list.sessionless;
      continue;
    }
    auto [found, added] = index.try_emplace(Key{event.provider, session_id->str()}, sessions.size());
    if (added) {
      Session& session = sessions.emplace_back();
      session.provider = event.provider;
      session.id = session_id->str();
      members.emplace_back();
    }
    members[found->second].push_back(i);
  }
  PageNames names;
  for (Session& session : sessions) session.page_stem = names.claim(wire_name(session.provider), session.id);
  for (std::size_t s = 0; s < sessions.size(); ++s) {
    Session& session = sessions[s];
    if (const SessionLinks* links = threads.links_of(session.provider, session.id)) {
      session.continues = links_to(links->continues, session.provider, index, sessions);
      session.continued_by = links_to(links->continued_by, session.provider, index, sessions);
    }
    SessionFacts facts = session_facts(report, members[s], rule);
    session.history_only = !facts.has_conversation;
    SessionBuilder builder(session, std::move(facts), options);
    for (const std::size_t i : members[s]) builder.add(report.events[i], rule[i]);
    builder.finish();
  }
  return list;
}

}  // namespace vt::report
