#include "cli/sessions.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <tuple>
#include <unordered_set>

#include "cli/local_time.hpp"
#include "cli/prompt_count.hpp"
#include "core/prompt_origin.hpp"

namespace vt::cli {

namespace {

constexpr std::array<std::pair<std::string_view, GroupBy>, 5> kGroupings = {{
    {"session", GroupBy::Session},
    {"day", GroupBy::Day},
    {"week", GroupBy::Week},
    {"project", GroupBy::Project},
    {"model", GroupBy::Model},
}};

// A Codex agent message is counted from its event message (the response item
// repeats it), or from an older rollout's top-level message.
bool is_agent_message(const Event& event) {
  if (event.event_type != EventType::AgentMessage) return false;
  if (event.provider != Provider::Codex) return true;
  const std::string_view type =
      event.source.record_type ? std::string_view(*event.source.record_type) : std::string_view();
  return type == "event_msg/agent_message" || type == "message";
}

std::string session_key(const Event& event) {
  std::string key(1, static_cast<char>(event.provider));
  key.append(*event.session_id);
  return key;
}

std::optional<std::string> usage_model(const Event& event) {
  if (event.event_type != EventType::TokenUsage) return std::nullopt;
  auto usage = event_usage(event);
  return usage ? usage->model : std::nullopt;
}

constexpr std::uint32_t kNone = 0xFFFFFFFF;

// What the whole timeline says about a session before its rows are counted.
struct SessionFacts {
  std::optional<std::string> directory;  // its first working directory
};

}  // namespace

std::optional<GroupBy> group_by_named(std::string_view name) {
  for (const auto& [text, value] : kGroupings) {
    if (text == name) return value;
  }
  return std::nullopt;
}

std::vector<std::string> group_by_names() {
  std::vector<std::string> names;
  for (const auto& grouping : kGroupings) names.emplace_back(grouping.first);
  return names;
}

DiagnosticOwners::DiagnosticOwners(const std::vector<Event>& events, const std::vector<Diagnostic>& diagnostics) {
  // The places diagnostics name, and what the events say about each.
  struct FileOwner {
    std::optional<std::string> session;  // the one session of the file's events
    bool several = false;
    const Event* first = nullptr;
  };
  std::unordered_map<std::string, FileOwner> files;
  std::map<std::pair<std::string, std::uint64_t>, const Event*> lines;
  for (const Diagnostic& d : diagnostics) {
    if (!d.source) continue;
    files.try_emplace(d.source->relative_path.str());
    if (d.source->line_number) lines.try_emplace({d.source->relative_path.str(), *d.source->line_number}, nullptr);
  }
  if (files.empty()) return;
  for (const Event& event : events) {
    if (!event.session_id) continue;
    const auto file = files.find(event.source.relative_path.str());
    if (file == files.end()) continue;
    FileOwner& owner = file->second;
    if (!owner.first) {
      owner.first = &event;
      owner.session = session_key(event);
    } else if (*owner.session != session_key(event)) {
      owner.several = true;
    }
    if (event.source.line_number) {
      const auto line = lines.find({file->first, *event.source.line_number});
      if (line != lines.end() && line->second == nullptr) line->second = &event;
    }
  }
  for (const Diagnostic& d : diagnostics) {
    if (!d.source) continue;
    const Event* owner = nullptr;
    if (d.source->line_number) owner = lines.at({d.source->relative_path.str(), *d.source->line_number});
    if (owner == nullptr) {
      const FileOwner& file = files.at(d.source->relative_path.str());
      if (!file.several) owner = file.first;
    }
    if (owner == nullptr) continue;
    std::vector<Place>& places = places_[owner->event_id.str()];
    Place place{d.source->relative_path.str(), d.source->line_number};
    if (std::find(places.begin(), places.end(), place) == places.end()) places.push_back(std::move(place));
  }
}

const std::vector<DiagnosticOwners::Place>* DiagnosticOwners::places_of(std::string_view event_id) const {
  if (places_.empty()) return nullptr;
  const auto found = places_.find(std::string(event_id));
  return found == places_.end() ? nullptr : &found->second;
}

std::vector<SummaryRow> summarize(const std::vector<Event>& events, const DiagnosticOwners& owners,
                                  const std::vector<GroupBy>& by) {
  const std::vector<bool> replay = transcript_replays(events);
  const std::vector<TokenShare> shares = token_shares(events);

  // Each event's session, and the model it counts under: that of the
  // session's next token count (the model that answered), else of its latest.
  std::unordered_map<std::string, std::uint32_t> session_index;
  std::vector<SessionFacts> facts;
  std::vector<std::uint32_t> session_of(events.size(), kNone);
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Event& event = events[i];
    if (!event.session_id) continue;
    const auto [found, added] = session_index.try_emplace(session_key(event), facts.size());
    if (added) facts.emplace_back();
    session_of[i] = found->second;
    if (!facts[found->second].directory && event.working_directory) {
      facts[found->second].directory = event.working_directory->str();
    }
  }
  std::vector<std::string> model_names;
  std::vector<std::uint32_t> model_of(events.size(), kNone);
  {
    std::vector<std::uint32_t> next(facts.size(), kNone);
    for (std::size_t i = events.size(); i-- > 0;) {
      if (session_of[i] == kNone) continue;
      if (auto model = usage_model(events[i])) {
        auto known = std::find(model_names.begin(), model_names.end(), *model);
        if (known == model_names.end()) known = model_names.insert(known, std::move(*model));
        next[session_of[i]] = static_cast<std::uint32_t>(known - model_names.begin());
      }
      model_of[i] = next[session_of[i]];
    }
  }
  std::vector<std::uint32_t> latest(facts.size(), kNone);

  std::vector<SummaryRow> rows;
  std::unordered_map<std::string, std::size_t> row_index;
  std::unordered_set<std::uint64_t> row_sessions;
  std::set<std::tuple<std::size_t, std::string, std::optional<std::uint64_t>>> diagnostic_lines;
  PromptCounter prompts;
  std::size_t share = 0;
  std::string key;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Event& event = events[i];
    while (share < shares.size() && shares[share].event < i) ++share;
    if (session_of[i] == kNone) continue;
    const std::uint32_t s = session_of[i];
    const SessionFacts& session = facts[s];
    const std::optional<std::string> named_model = usage_model(event);
    if (named_model) latest[s] = model_of[i];
    const std::uint32_t model = model_of[i] != kNone ? model_of[i] : latest[s];

    SummaryRow shape;
    key.clear();
    const auto part = [&key](const std::optional<std::string>& text) {
      key.push_back(text ? '+' : '-');
      if (text) key.append(*text);
      key.push_back('\0');
    };
    for (const GroupBy g : by) {
      switch (g) {
        case GroupBy::Session:
          shape.provider = event.provider;
          shape.session_id = event.session_id->str();
          shape.working_directory = session.directory;
          part(session_key(event));
          break;
        case GroupBy::Day:
          if (event.timestamp) shape.day = local_day(*event.timestamp);
          part(shape.day);
          break;
        case GroupBy::Week:
          if (event.timestamp) shape.week = local_week(*event.timestamp);
          part(shape.week);
          break;
        case GroupBy::Project:
          shape.project = session.directory;
          part(shape.project);
          break;
        case GroupBy::Model:
          if (model != kNone) shape.model = model_names[model];
          part(shape.model);
          break;
      }
    }
    const auto [found, added] = row_index.try_emplace(key, rows.size());
    if (added) rows.push_back(std::move(shape));
    const std::size_t r = found->second;
    SummaryRow& row = rows[r];

    if (event.timestamp) {
      if (!row.first || *event.timestamp < *row.first) row.first = event.timestamp;
      if (!row.last || *event.timestamp > *row.last) row.last = event.timestamp;
    }
    if (row_sessions.insert((static_cast<std::uint64_t>(r) << 32) | s).second) ++row.sessions;

    if (!replay[i]) {
      if (const auto origin = event.origin ? event.origin : prompt_origin(event)) {
        const auto text = prompt_match_text(event, *origin);
        if (text && prompts.is_new(event, *origin, *text)) {
          switch (*origin) {
            case PromptOrigin::Typed: ++row.prompts; break;
            case PromptOrigin::Injected: ++row.injected_prompts; break;
            case PromptOrigin::Command: ++row.command_prompts; break;
          }
        }
      }
      row.agent_messages += is_agent_message(event);
      row.tool_calls += event.event_type == EventType::ToolCall;
    }
    if (share < shares.size() && shares[share].event == i) {
      if (!row.tokens) row.tokens.emplace();
      row.tokens->add(shares[share].sums);
    }
    if (named_model && std::find(row.models.begin(), row.models.end(), *named_model) == row.models.end()) {
      row.models.push_back(*named_model);
    }
    if (const auto* places = owners.places_of(event.event_id)) {
      for (const DiagnosticOwners::Place& place : *places) {
        if (diagnostic_lines.emplace(r, place.relative_path, place.line).second) ++row.diagnostic_lines;
      }
    }
  }
  for (SummaryRow& row : rows) std::sort(row.models.begin(), row.models.end());
  return rows;
}

}  // namespace vt::cli
