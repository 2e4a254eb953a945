#include "gemini_cli/saved_chats.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "core/path_names.hpp"
#include "jsonl/trim.hpp"

namespace vt::gemini {

namespace {

struct Candidate {
  Event* event;
  bool used = false;
};

using Candidates = std::unordered_map<std::string, std::vector<Candidate>>;

// The key of an event as a session's own file and a saved chat both hold
// it: its session, type, and call id (calls and results) or text.
std::string key_of(const Event& event) {
  std::string key = event.session_id ? event.session_id->str() : std::string();
  key += '\0';
  key += std::to_string(static_cast<int>(event.event_type));
  key += '\0';
  const bool tool = event.event_type == EventType::ToolCall || event.event_type == EventType::ToolResult;
  if (tool && event.facts.tool_call_id) {
    key += event.facts.tool_call_id->str();
  } else if (event.message) {
    key += trim_line(*event.message);
  }
  return key;
}

// The first unused candidate no earlier than `after` (when given).
Candidate* take(Candidates& candidates, const std::string& key, const std::optional<Instant>& after) {
  const auto found = candidates.find(key);
  if (found == candidates.end()) return nullptr;
  for (Candidate& candidate : found->second) {
    if (candidate.used) continue;
    if (after && candidate.event->timestamp && *candidate.event->timestamp < *after) continue;
    candidate.used = true;
    return &candidate;
  }
  return nullptr;
}

// The logged prompts of each project folder, by text, earliest first.
std::unordered_map<std::string, Candidates> logged_prompts(std::vector<ReadFile>& files) {
  std::unordered_map<std::string, Candidates> by_folder;
  for (ReadFile& file : files) {
    if (file.role != FileRole::PromptLog) continue;
    for (Event& event : file.read.records.events) {
      if (event.event_type != EventType::PromptInput || !event.message || !event.session_id || !event.timestamp) {
        continue;
      }
      by_folder[file.folder][std::string(trim_line(*event.message))].push_back(Candidate{&event});
    }
  }
  for (auto& [folder, prompts] : by_folder) {
    for (auto& [text, list] : prompts) {
      std::ranges::stable_sort(list, [](const Candidate& a, const Candidate& b) {
        return *a.event->timestamp < *b.event->timestamp;
      });
    }
  }
  return by_folder;
}

// What the sessions' own files hold, counted, by `key_of`.
Candidates session_records(std::vector<ReadFile>& files) {
  Candidates held;
  for (ReadFile& file : files) {
    if (file.role != FileRole::SessionDocument && file.role != FileRole::SessionLines) continue;
    for (Event& event : file.read.records.events) {
      if (!event.copy_of && event.session_id) held[key_of(event)].push_back(Candidate{&event});
    }
  }
  return held;
}

void place(Event& event, const Event& at) {
  event.session_id = at.session_id;
  event.timestamp = at.timestamp;
  event.timestamp_source = TimestampSource::ReferencedEvent;
  event.timestamp_raw.reset();
}

void place_chat(ReadFile& chat, Candidates* logged, Candidates& held) {
  std::vector<Event>& events = chat.read.records.events;
  const Event* tied = nullptr;  // the logged prompt tied last
  std::size_t placed = 0;       // events placed so far (those before the first tie wait for it)
  for (std::size_t i = 0; i < events.size(); ++i) {
    Event& event = events[i];
    if (logged == nullptr || event.event_type != EventType::PromptInput || !event.message) continue;
    const std::optional<Instant> after = tied ? tied->timestamp : std::nullopt;
    Candidate* prompt = take(*logged, std::string(trim_line(*event.message)), after);
    if (prompt == nullptr) continue;
    for (; placed < i; ++placed) place(events[placed], tied != nullptr ? *tied : *prompt->event);
    tied = prompt->event;
    place(event, *tied);
    mark_copy(event, *tied);
    placed = i + 1;
  }
  if (tied == nullptr) {
    // Nothing tells where it belongs: a session of its own.
    const OptionalShared own(chat.folder + "/" + chat.path.stem().string());
    for (Event& event : events) event.session_id = own;
    return;
  }
  for (; placed < events.size(); ++placed) place(events[placed], *tied);
  for (Event& event : events) {
    if (event.copy_of) continue;
    if (Candidate* own = take(held, key_of(event), std::nullopt)) mark_copy(event, *own->event);
  }
}

}  // namespace

void place_saved_chats(std::vector<ReadFile>& files) {
  if (std::ranges::none_of(files, [](const ReadFile& f) { return f.role == FileRole::Checkpoint; })) return;
  auto logged = logged_prompts(files);
  Candidates held = session_records(files);
  for (ReadFile& file : files) {
    if (file.role != FileRole::Checkpoint) continue;
    const auto folder = logged.find(file.folder);
    place_chat(file, folder == logged.end() ? nullptr : &folder->second, held);
  }
}

}  // namespace vt::gemini
