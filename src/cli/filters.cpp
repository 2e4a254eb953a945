#include "cli/filters.hpp"

#include <algorithm>
#include <cctype>
#include <set>

#include "cli/local_time.hpp"
#include "core/rfc3339.hpp"

namespace vt::cli {

namespace {

bool digits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The local date a --since/--until day names: YYYY-MM-DD, "today",
// "yesterday", "Nd" or "Nw" (N days or weeks before today's date).
std::optional<LocalDate> named_day(std::string_view text, const Instant& now) {
  if (text.size() == 10 && text[4] == '-' && text[7] == '-' && digits(text.substr(0, 4)) &&
      digits(text.substr(5, 2)) && digits(text.substr(8, 2))) {
    CivilTime civil;
    civil.year = std::stoi(std::string(text.substr(0, 4)));
    civil.month = static_cast<unsigned>(std::stoi(std::string(text.substr(5, 2))));
    civil.day = static_cast<unsigned>(std::stoi(std::string(text.substr(8, 2))));
    if (!Instant::from_civil(civil)) return std::nullopt;  // refuses 2024-02-30 and the like
    return LocalDate{civil.year, civil.month, civil.day};
  }
  std::int64_t back = 0;
  if (text == "yesterday") {
    back = 1;
  } else if (text != "today") {
    if (text.size() < 2 || text.size() > 7 || (text.back() != 'd' && text.back() != 'w')) return std::nullopt;
    const std::string_view count = text.substr(0, text.size() - 1);
    if (!digits(count)) return std::nullopt;
    back = std::stoll(std::string(count)) * (text.back() == 'w' ? 7 : 1);
  }
  const auto today = local_date(now);
  if (!today) return std::nullopt;
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civil_from_days(days_from_civil(today->year, today->month, today->day) - back, year, month, day);
  return LocalDate{year, month, day};
}

// A working directory as compared: backslashes as slashes and a Windows
// drive letter in lower case ("C:\Users" and "c:/Users" are one place).
std::string comparable_path(std::string_view path) {
  std::string text(path);
  std::replace(text.begin(), text.end(), '\\', '/');
  if (text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]))) {
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  }
  return text;
}

bool path_has_prefix(std::string_view path_text, std::string_view prefix_text) {
  const std::string path_copy = comparable_path(path_text), prefix_copy = comparable_path(prefix_text);
  std::string_view path = path_copy, prefix = prefix_copy;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.remove_suffix(1);
  if (!path.starts_with(prefix)) return false;
  return path.size() == prefix.size() || prefix.back() == '/' || path[prefix.size()] == '/';
}

template <class T>
bool listed(const std::vector<T>& wanted, const T& value) {
  return wanted.empty() || std::find(wanted.begin(), wanted.end(), value) != wanted.end();
}

constexpr Provider kProviders[] = {Provider::Codex, Provider::ClaudeCode, Provider::GeminiCli, Provider::CopilotCli,
                                   Provider::Aider};
constexpr PromptOrigin kOrigins[] = {PromptOrigin::Typed, PromptOrigin::Injected, PromptOrigin::Command};

std::string lower(std::string_view text) {
  std::string copy(text);
  for (char& c : copy) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return copy;
}

}  // namespace

std::optional<TimeBound> parse_since(std::string_view text, const Instant& now) {
  if (const auto day = named_day(text, now)) {
    const auto start = local_day_start(*day);
    return start ? std::optional<TimeBound>(TimeBound{*start, false}) : std::nullopt;
  }
  if (auto at = parse_rfc3339(text)) return TimeBound{*at, false};
  return std::nullopt;
}

std::optional<TimeBound> parse_until(std::string_view text, const Instant& now) {
  if (const auto day = named_day(text, now)) {
    const auto next = local_day_start(*day, 1);
    return next ? std::optional<TimeBound>(TimeBound{*next, true}) : std::nullopt;
  }
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

std::vector<std::string> filterable_origins() {
  std::vector<std::string> names;
  for (PromptOrigin o : kOrigins) names.emplace_back(wire_name(o));
  return names;
}

std::optional<PromptOrigin> origin_named(std::string_view name) {
  for (PromptOrigin o : kOrigins) {
    if (wire_name(o) == name) return o;
  }
  return std::nullopt;
}

std::string check_window(const EventFilter& filter) {
  if (!filter.since || !filter.until) return {};
  const bool empty = filter.until->exclusive ? filter.since->at >= filter.until->at
                                             : filter.since->at > filter.until->at;
  return empty ? "--since is after --until: no event can lie in between" : std::string();
}

std::string resolve_sessions(EventFilter& filter, const std::vector<Event>& events) {
  if (filter.sessions.empty()) return {};
  std::set<std::string> ids;
  for (const Event& event : events) {
    if (event.session_id) ids.insert(event.session_id->str());
  }
  for (std::string& wanted : filter.sessions) {
    const std::string key = lower(wanted);
    std::vector<std::string> candidates;
    for (const std::string& id : ids) {
      const std::string id_key = lower(id);
      if (id_key == key) {
        candidates.assign(1, id);
        break;
      }
      if (id_key.starts_with(key)) candidates.push_back(id);
    }
    if (candidates.size() > 1) {
      std::string names;
      for (const std::string& id : candidates) names += "\n  " + id;
      return "--session '" + wanted + "' starts " + std::to_string(candidates.size()) + " session ids:" + names;
    }
    if (candidates.size() == 1) wanted = candidates.front();
  }
  return {};
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
  if (!origins.empty() && (!event.origin || !listed(origins, *event.origin))) return false;
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
