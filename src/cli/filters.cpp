#include "cli/filters.hpp"

#include <algorithm>

#include "core/rfc3339.hpp"

namespace vt::cli {

namespace {

bool digits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Midnight UTC of a plain YYYY-MM-DD date, `days_after` days later.
std::optional<Instant> day_start(std::string_view text, int days_after) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !digits(text.substr(0, 4)) ||
      !digits(text.substr(5, 2)) || !digits(text.substr(8, 2))) {
    return std::nullopt;
  }
  CivilTime civil;
  civil.year = std::stoi(std::string(text.substr(0, 4)));
  civil.month = static_cast<unsigned>(std::stoi(std::string(text.substr(5, 2))));
  civil.day = static_cast<unsigned>(std::stoi(std::string(text.substr(8, 2))));
  const auto start = Instant::from_civil(civil);  // refuses 2024-02-30 and the like
  if (!start) return std::nullopt;
  return Instant::from_unix(start->unix_seconds() + std::int64_t{86400} * days_after);
}

bool path_has_prefix(std::string_view path, std::string_view prefix) {
  while (prefix.size() > 1 && prefix.back() == '/') prefix.remove_suffix(1);
  if (!path.starts_with(prefix)) return false;
  return path.size() == prefix.size() || prefix.back() == '/' || path[prefix.size()] == '/';
}

template <class T>
bool listed(const std::vector<T>& wanted, const T& value) {
  return wanted.empty() || std::find(wanted.begin(), wanted.end(), value) != wanted.end();
}

constexpr Provider kProviders[] = {Provider::Codex, Provider::ClaudeCode};

}  // namespace

std::optional<TimeBound> parse_since(std::string_view text) {
  if (auto day = day_start(text, 0)) return TimeBound{*day, false};
  if (auto at = parse_rfc3339(text)) return TimeBound{*at, false};
  return std::nullopt;
}

std::optional<TimeBound> parse_until(std::string_view text) {
  if (auto next_day = day_start(text, 1)) return TimeBound{*next_day, true};
  if (auto at = parse_rfc3339(text)) return TimeBound{*at, false};
  return std::nullopt;
}

std::string normal_cwd_prefix(std::string_view prefix) {
  const bool absolute = prefix.starts_with('/');
  std::vector<std::string_view> parts;
  while (!prefix.empty()) {
    const std::size_t slash = prefix.find('/');
    const std::string_view part = prefix.substr(0, slash);
    prefix.remove_prefix(slash == std::string_view::npos ? prefix.size() : slash + 1);
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      parts.push_back(part);
    } else if (!parts.empty() && parts.back() != "..") {
      parts.pop_back();
    } else if (!absolute) {
      parts.push_back(part);
    }
  }
  std::string text = absolute ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) text += '/';
    text += parts[i];
  }
  return text.empty() ? "." : text;
}

std::vector<std::string> filterable_providers() {
  std::vector<std::string> names;
  for (Provider p : kProviders) names.emplace_back(wire_name(p));
  return names;
}

std::vector<std::string> filterable_event_types() {
  std::vector<std::string> names;
  for (int i = 0; i <= static_cast<int>(EventType::Unknown); ++i) {
    names.emplace_back(wire_name(static_cast<EventType>(i)));
  }
  return names;
}

std::optional<Provider> provider_named(std::string_view name) {
  for (Provider p : kProviders) {
    if (wire_name(p) == name) return p;
  }
  return std::nullopt;
}

std::optional<EventType> event_type_named(std::string_view name) {
  for (int i = 0; i <= static_cast<int>(EventType::Unknown); ++i) {
    if (wire_name(static_cast<EventType>(i)) == name) return static_cast<EventType>(i);
  }
  return std::nullopt;
}

bool EventFilter::keeps(const Event& event) const {
  if (since || until) {
    if (!event.timestamp) return false;
    if (since && *event.timestamp < since->at) return false;
    if (until && (until->exclusive ? *event.timestamp >= until->at : *event.timestamp > until->at)) {
      return false;
    }
  }
  if (!sessions.empty() && (!event.session_id || !listed(sessions, event.session_id->str()))) {
    return false;
  }
  if (!listed(providers, event.provider) || !listed(event_types, event.event_type)) return false;
  if (!cwd_prefixes.empty()) {
    if (!event.working_directory) return false;
    return std::any_of(cwd_prefixes.begin(), cwd_prefixes.end(), [&](const std::string& prefix) {
      return path_has_prefix(*event.working_directory, prefix);
    });
  }
  return true;
}

std::size_t apply_filter(const EventFilter& filter, std::vector<Event>& events) {
  if (filter.empty()) return 0;
  return std::erase_if(events, [&](const Event& e) { return !filter.keeps(e); });
}

}  // namespace vt::cli
