#include "gemini_cli/copies.hpp"

#include <cmath>
#include <unordered_map>
#include <utility>

#include "gemini_cli/saved_chats.hpp"
#include "jsonl/trim.hpp"

namespace vt::gemini {

namespace {

// Prompts of a log and of a session further apart than this are not one.
constexpr double kPromptMatchSeconds = 600.0;

// What a copy is marked with: the counted event's id (following a copy to
// what it stands for).
EventIdText counted_id(const Event& event) {
  return event.copy_of ? EventIdText(std::string_view(*event.copy_of)) : event.event_id;
}

void mark(Event& copy, const Event& counted) { mark_copy(copy, counted); }

// Marks the events of span `copy` (in `copies`) as copies of their
// counterparts in span `counted` (in `originals`).
void mark_span(std::vector<Event>& copies, const MessageSpan& copy, const std::vector<Event>& originals,
               const MessageSpan& counted) {
  // The counted span's events by record type, in order.
  std::vector<std::pair<const SharedString*, std::vector<std::size_t>>> by_type;
  const auto slot = [&by_type](const Event& event) -> std::vector<std::size_t>& {
    const SharedString& type = *event.source.record_type;
    for (auto& [known, positions] : by_type) {
      if (*known == type) return positions;
    }
    return by_type.emplace_back(&type, std::vector<std::size_t>{}).second;
  };
  for (std::size_t i = counted.first; i < counted.first + counted.count; ++i) slot(originals[i]).push_back(i);
  std::vector<std::pair<const SharedString*, std::size_t>> seen;  // occurrences met in the copy
  for (std::size_t i = copy.first; i < copy.first + copy.count; ++i) {
    Event& event = copies[i];
    const SharedString& type = *event.source.record_type;
    std::size_t occurrence = 0;
    bool found = false;
    for (auto& [known, count] : seen) {
      if (*known == type) {
        occurrence = count++;
        found = true;
        break;
      }
    }
    if (!found) seen.emplace_back(&type, 1);
    for (const auto& [known, positions] : by_type) {
      if (*known == type && occurrence < positions.size()) mark(event, originals[positions[occurrence]]);
    }
  }
}

// What makes a record the same in another file, or "" when it says too little.
std::string identity(const MessageSpan& span) {
  if (span.session.empty() || (span.header ? span.time.empty() : span.id.empty())) return {};
  std::string key(span.header ? "H" : "M");
  key += span.session;
  key += '\0';
  key += span.id;
  key += '\0';
  key += span.time;
  return key;
}

bool is_chat(FileRole role) { return role == FileRole::SessionDocument || role == FileRole::SessionLines; }

struct SpanAt {
  std::size_t file;
  std::size_t span;
};

void mark_files(std::vector<ReadFile>& files) {
  std::unordered_map<std::string, std::size_t> by_digest;
  std::unordered_map<std::string, SpanAt> counted;
  for (std::size_t f = 0; f < files.size(); ++f) {
    FileRead& read = files[f].read;
    std::vector<Event>& events = read.records.events;
    const std::string& digest = read.records.sha256;
    if (!digest.empty()) {
      const auto [first, added] = by_digest.try_emplace(digest, f);
      const std::vector<Event>& earlier = files[first->second].read.records.events;
      if (!added && earlier.size() == events.size()) {
        for (std::size_t i = 0; i < events.size(); ++i) mark(events[i], earlier[i]);
        continue;
      }
    }
    // The last copy of a message within one run of the file stands for it.
    std::unordered_map<std::string_view, std::size_t> last;  // by id, within the run being looked at
    std::vector<std::size_t> representatives(read.spans.size());
    for (std::size_t end = read.spans.size(); end > 0; --end) {
      const std::size_t s = end - 1;
      const MessageSpan& span = read.spans[s];
      if (s + 1 < read.spans.size() && read.spans[s + 1].segment != span.segment) last.clear();
      representatives[s] = span.header || span.id.empty() ? s : last.try_emplace(span.id, s).first->second;
    }
    const auto representative = [&](std::size_t s) { return representatives[s]; };
    for (std::size_t s = 0; s < read.spans.size(); ++s) {
      if (representative(s) != s) continue;
      const std::string key = identity(read.spans[s]);
      if (key.empty()) continue;
      const auto [at, added] = counted.try_emplace(key, SpanAt{f, s});
      if (added) continue;
      const FileRead& other = files[at->second.file].read;
      mark_span(events, read.spans[s], other.records.events, other.spans[at->second.span]);
    }
    for (std::size_t s = 0; s < read.spans.size(); ++s) {
      const std::size_t r = representative(s);
      if (r != s) mark_span(events, read.spans[s], events, read.spans[r]);
    }
  }
}

double seconds_between(const Instant& a, const Instant& b) {
  const double whole = static_cast<double>(a.unix_seconds() - b.unix_seconds());
  return std::fabs(whole + (static_cast<double>(a.nanos()) - static_cast<double>(b.nanos())) / 1e9);
}

bool counted_prompt(const Event& event) {
  return event.event_type == EventType::PromptInput && !event.copy_of && event.message;
}

void match_logged_prompts(std::vector<ReadFile>& files) {
  struct Prompt {
    const Event* event;
    bool matched = false;
  };
  // Counted session prompts by session and text.
  const auto key_of = [](const Event& event) {
    std::string key = event.session_id->str();
    key += '\0';
    key += trim_line(*event.message);
    return key;
  };
  std::unordered_map<std::string, std::vector<Prompt>> prompts;
  for (ReadFile& file : files) {
    if (!is_chat(file.role)) continue;
    for (const Event& event : file.read.records.events) {
      if (!counted_prompt(event) || !event.session_id || !event.timestamp) continue;
      prompts[key_of(event)].push_back(Prompt{&event});
    }
  }
  if (prompts.empty()) return;
  for (ReadFile& file : files) {
    if (file.role != FileRole::PromptLog) continue;
    for (Event& event : file.read.records.events) {
      if (!counted_prompt(event) || !event.session_id || !event.timestamp) continue;
      const auto found = prompts.find(key_of(event));
      if (found == prompts.end()) continue;
      Prompt* best = nullptr;
      double best_gap = kPromptMatchSeconds;
      for (Prompt& prompt : found->second) {
        if (prompt.matched) continue;
        const double gap = seconds_between(*prompt.event->timestamp, *event.timestamp);
        if (gap <= best_gap) {
          best = &prompt;
          best_gap = gap;
        }
      }
      if (best == nullptr) continue;
      best->matched = true;
      mark(event, *best->event);
    }
  }
}

void match_shell_history(std::vector<ReadFile>& files) {
  for (ReadFile& history : files) {
    if (history.role != FileRole::ShellHistory) continue;
    std::vector<const Event*> logged;  // the folder's logged shell commands, in order
    for (const ReadFile& file : files) {
      if (file.role != FileRole::PromptLog || file.folder != history.folder) continue;
      for (const Event& event : file.read.records.events) {
        if (event.event_type == EventType::PromptInput && event.message && event.message->str().starts_with('!')) {
          logged.push_back(&event);
        }
      }
    }
    std::vector<bool> used(logged.size(), false);
    for (Event& line : history.read.records.events) {
      if (!line.message) continue;
      const std::string wanted = "!" + line.message->str();
      for (std::size_t i = 0; i < logged.size(); ++i) {
        if (used[i] || trim_line(*logged[i]->message) != wanted) continue;
        used[i] = true;
        mark(line, *logged[i]);
        break;
      }
    }
  }
}

}  // namespace

void mark_copy(Event& copy, const Event& counted) {
  if (&copy == &counted) return;
  copy.copy_of = OptionalShared(std::string(counted_id(counted).view()));
}

void mark_copies(std::vector<ReadFile>& files) {
  mark_files(files);
  match_logged_prompts(files);
  match_shell_history(files);
  place_saved_chats(files);
}

}  // namespace vt::gemini
