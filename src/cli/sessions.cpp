#include "cli/sessions.hpp"

#include <algorithm>
#include <array>
#include <set>
#include <tuple>
#include <unordered_set>

#include "cli/local_time.hpp"
#include "cli/usage_blocks.hpp"
#include "core/conversations.hpp"

namespace vt::cli {

namespace {

constexpr std::array<std::pair<std::string_view, GroupBy>, 7> kGroupings = {{
    {"session", GroupBy::Session},
    {"day", GroupBy::Day},
    {"week", GroupBy::Week},
    {"month", GroupBy::Month},
    {"block", GroupBy::Block},
    {"project", GroupBy::Project},
    {"model", GroupBy::Model},
}};

std::string session_key(const Event& event, const SharedString& session) {
  std::string key(1, static_cast<char>(event.provider));
  key.append(session.str());
  return key;
}

constexpr std::uint32_t kNone = 0xFFFFFFFF;

// The model a counted usage names.
std::optional<std::string> usage_model(const Event& event, const Usage* usage) {
  if (usage == nullptr || !event.facts.model) return std::nullopt;
  return event.facts.model->str();
}

void add_sorted(std::vector<std::string>& list, const std::string& item) {
  const auto at = std::lower_bound(list.begin(), list.end(), item);
  if (at == list.end() || *at != item) list.insert(at, item);
}

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

std::vector<SummaryRow> summarize(const std::vector<Event>& events, const DiagnosticOwners& owners,
                                  const std::vector<GroupBy>& by) {
  const CountRule rule{std::span<const Event>(events)};
  // Each event's counted usage: its facts' when the rule counts them.
  std::vector<const Usage*> usage(events.size(), nullptr);
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (rule[i].usage) usage[i] = &*events[i].facts.usage;
  }
  const auto model_named = [&](std::size_t i) { return usage_model(events[i], usage[i]); };
  const bool by_block = std::find(by.begin(), by.end(), GroupBy::Block) != by.end();
  std::optional<UsageBlocks> blocks;
  if (by_block) blocks.emplace(std::span<const Event>(events), rule);

  // Each event's session (a transcript file's events: the session of its
  // conversation), and the model it counts under: that of the session's
  // next usage (the model that answered), else of its latest.
  const Conversations threads = tie_conversations(events);
  std::unordered_map<std::string, std::uint32_t> session_index;
  std::vector<std::optional<std::string>> directories;  // each session's first working directory
  std::vector<std::uint32_t> session_of(events.size(), kNone);
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Event& event = events[i];
    if (!threads.session_of[i]) continue;
    const auto [found, added] = session_index.try_emplace(session_key(event, *threads.session_of[i]), directories.size());
    if (added) directories.emplace_back();
    session_of[i] = found->second;
    if (!directories[found->second] && event.working_directory) {
      directories[found->second] = event.working_directory->str();
    }
  }
  std::vector<std::string> model_names;
  std::vector<std::uint32_t> model_of(events.size(), kNone);
  std::vector<std::uint32_t> named_model(events.size(), kNone);
  {
    std::vector<std::uint32_t> next(directories.size(), kNone);
    for (std::size_t i = events.size(); i-- > 0;) {
      if (session_of[i] == kNone) continue;
      if (auto model = model_named(i)) {
        auto known = std::find(model_names.begin(), model_names.end(), *model);
        if (known == model_names.end()) known = model_names.insert(known, std::move(*model));
        next[session_of[i]] = static_cast<std::uint32_t>(known - model_names.begin());
        named_model[i] = next[session_of[i]];
      }
      model_of[i] = next[session_of[i]];
    }
  }
  std::vector<std::uint32_t> latest(directories.size(), kNone);

  std::vector<SummaryRow> rows;
  std::unordered_map<std::string, std::size_t> row_index;
  std::unordered_set<std::uint64_t> row_sessions;
  std::set<std::tuple<std::size_t, std::string, std::optional<std::uint64_t>>> diagnostic_lines;
  std::string key;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Event& event = events[i];
    if (session_of[i] == kNone) continue;
    const std::uint32_t s = session_of[i];
    if (named_model[i] != kNone) latest[s] = named_model[i];
    // Usage counts under its own model (none when it names none); anything
    // else under the model that answered it.
    const std::uint32_t model =
        usage[i] != nullptr ? named_model[i] : model_of[i] != kNone ? model_of[i] : latest[s];

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
          shape.session_id = threads.session_of[i]->str();
          shape.working_directory = directories[s];
          part(session_key(event, *threads.session_of[i]));
          break;
        case GroupBy::Day:
          if (event.timestamp) shape.day = local_day(*event.timestamp);
          part(shape.day);
          break;
        case GroupBy::Week:
          if (event.timestamp) shape.week = local_week(*event.timestamp);
          part(shape.week);
          break;
        case GroupBy::Month:
          if (event.timestamp) shape.month = local_month(*event.timestamp);
          part(shape.month);
          break;
        case GroupBy::Block:
          if (const auto start = blocks->block_of(event)) shape.block = local_time_text(*start);
          part(shape.block);
          break;
        case GroupBy::Project:
          shape.project = directories[s];
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
    row.counts.add(rule[i], usage[i], named_model[i] != kNone ? OptionalShared(model_names[named_model[i]])
                                                              : OptionalShared());
    if (named_model[i] != kNone) add_sorted(row.models, model_names[named_model[i]]);
    if (const auto* places = owners.places_of(event.event_id)) {
      for (const DiagnosticOwners::Place& place : *places) {
        if (diagnostic_lines.emplace(r, place.relative_path, place.line).second) ++row.diagnostic_lines;
      }
    }
  }
  return rows;
}

}  // namespace vt::cli
