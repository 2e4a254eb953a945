#include "cli/sessions.hpp"

#include <set>

namespace vt::cli {

namespace {

using Key = std::pair<Provider, std::string>;

bool is_history_prompt(const Event& event) {
  return event.event_type == EventType::PromptInput &&
         event.source.artifact_kind == ArtifactKind::History;
}

bool is_record(const Event& event, std::string_view record_type) {
  return event.source.record_type && *event.source.record_type == record_type;
}

// A typed Codex prompt arrives three times (history, response item, event
// message) and injected context also comes as a user message: the event
// message alone stands for what the person typed. Claude Code keeps each
// prompt once, in its history.
bool is_prompt(const Event& event) {
  if (event.provider == Provider::Codex) return is_record(event, "event_msg/user_message");
  return is_history_prompt(event);
}

bool is_agent_message(const Event& event) {
  if (event.provider == Provider::Codex) return is_record(event, "event_msg/agent_message");
  return event.event_type == EventType::AgentMessage;
}

std::optional<std::uint64_t> count_at(const Json& usage, const char* name) {
  const auto found = usage.find(name);
  if (found == usage.end() || !found->is_number_unsigned()) return std::nullopt;
  return found->get<std::uint64_t>();
}

// The running totals a token-count record carries, when it carries them.
std::optional<TokenTotals> running_totals(const Event& event) {
  if (event.event_type != EventType::TokenUsage || !event.raw || !event.raw->is_object()) {
    return std::nullopt;
  }
  const auto payload = event.raw->find("payload");
  if (payload == event.raw->end() || !payload->is_object()) return std::nullopt;
  const auto info = payload->find("info");
  if (info == payload->end() || !info->is_object()) return std::nullopt;
  const auto usage = info->find("total_token_usage");
  if (usage == info->end() || !usage->is_object()) return std::nullopt;
  return TokenTotals{count_at(*usage, "input_tokens"), count_at(*usage, "cached_input_tokens"),
                     count_at(*usage, "output_tokens"),
                     count_at(*usage, "reasoning_output_tokens"),
                     count_at(*usage, "total_tokens")};
}

}  // namespace

SessionPlaces::SessionPlaces(const std::vector<Event>& events) {
  for (const Event& event : events) {
    if (!event.session_id) continue;
    Key key{event.provider, *event.session_id};
    if (event.source.line_number) {
      lines_.emplace(std::pair{event.source.relative_path, *event.source.line_number}, key);
    }
    auto [file, added] = files_.emplace(event.source.relative_path, key);
    if (!added && file->second && *file->second != key) file->second.reset();
  }
}

const Key* SessionPlaces::owner(const Diagnostic& diagnostic) const {
  if (!diagnostic.source) return nullptr;
  const SourceRef& source = *diagnostic.source;
  if (source.line_number) {
    const auto line = lines_.find({source.relative_path, *source.line_number});
    if (line != lines_.end()) return &line->second;
  }
  const auto file = files_.find(source.relative_path);
  if (file == files_.end() || !file->second) return nullptr;
  return &*file->second;
}

std::vector<SessionRow> summarize_sessions(const std::vector<Event>& events,
                                           const std::vector<Diagnostic>& diagnostics,
                                           const SessionPlaces& places) {
  std::vector<SessionRow> rows;
  std::map<Key, std::size_t> index;
  // Where each row's token totals were read: the records repeat the running
  // total, so the one written last (file order, not timeline order: a record
  // with a broken timestamp sorts last) holds the session's totals.
  std::vector<std::pair<std::string, std::uint64_t>> token_places;
  // A Codex session whose rollout log is gone is known from its history
  // alone: then its history prompts are what the person typed.
  std::vector<bool> has_log;
  std::vector<std::uint64_t> history_prompts;
  for (const Event& event : events) {
    if (!event.session_id) continue;
    auto [found, added] = index.emplace(Key{event.provider, *event.session_id}, rows.size());
    if (added) {
      rows.push_back(SessionRow{});
      rows.back().provider = event.provider;
      rows.back().session_id = *event.session_id;
      token_places.emplace_back();
      has_log.push_back(false);
      history_prompts.push_back(0);
    }
    SessionRow& row = rows[found->second];
    if (!row.working_directory && event.working_directory) {
      row.working_directory = event.working_directory->str();
    }
    if (event.timestamp) {
      if (!row.first || *event.timestamp < *row.first) row.first = event.timestamp;
      if (!row.last || *event.timestamp > *row.last) row.last = event.timestamp;
    }
    row.prompts += is_prompt(event);
    history_prompts[found->second] += is_history_prompt(event);
    if (event.source.artifact_kind == ArtifactKind::Session) has_log[found->second] = true;
    row.agent_messages += is_agent_message(event);
    row.tool_calls += event.event_type == EventType::ToolCall;
    if (auto totals = running_totals(event)) {
      std::pair place{event.source.relative_path.str(), event.source.line_number.value_or(0)};
      auto& latest = token_places[found->second];
      if (!row.tokens || place > latest) {
        row.tokens = totals;
        latest = std::move(place);
      }
    }
  }

  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].provider == Provider::Codex && !has_log[i]) rows[i].prompts = history_prompts[i];
  }

  std::set<std::tuple<std::size_t, std::string, std::uint64_t, bool>> counted;
  for (const Diagnostic& diagnostic : diagnostics) {
    const Key* owner = places.owner(diagnostic);
    if (owner == nullptr) continue;
    const auto row = index.find(*owner);
    if (row == index.end()) continue;
    const SourceRef& source = *diagnostic.source;
    if (counted.emplace(row->second, source.relative_path, source.line_number.value_or(0),
                        source.line_number.has_value())
            .second) {
      ++rows[row->second].diagnostic_lines;
    }
  }
  return rows;
}

}  // namespace vt::cli
