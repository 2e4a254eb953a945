#include "copilot_cli/command_history.hpp"

#include <algorithm>
#include <unordered_map>

#include "core/prompt_origin.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/line_json.hpp"
#include "jsonl/relative_path.hpp"
#include "jsonl/whole_document.hpp"

namespace vt::copilot {

Result<FileRecords> read_command_history(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                         const ParseOptions& options) {
  const SharedString relative_path(relative_path_for(path, base_dir));
  const SourceRef source{ArtifactKind::History, std::nullopt, relative_path, std::nullopt, std::nullopt};
  return read_json_document_records(path, options, source, "command history", [&](FileRecords& out, JsonView value) {
    const auto report = [&](DiagnosticCode code, std::string message) {
      out.diagnostics.push_back(Diagnostic{code, Severity::Warning, source, std::move(message)});
    };
    const FieldRef entries = value.is_object() ? get_field(value, "commandHistory") : FieldRef();
    const auto list = entries ? as_array(*entries) : std::nullopt;
    if (!list) {
      report(DiagnosticCode::UnknownRecord, "Not a Copilot CLI command history (no 'commandHistory' array), skipping.");
      return;
    }
    EventIds ids;
    RepeatedTexts types;
    std::size_t index = 0;
    for (const JsonView entry : *list) {
      const std::string key = "copilot_history:" + std::to_string(index);
      if (!entry.is_string()) {
        report(DiagnosticCode::InvalidFieldType,
               "Entry " + std::to_string(index++) + " of the command history is not a string.");
        continue;
      }
      ++index;
      const RecordPlace place{ArtifactKind::History, relative_path, std::nullopt, key, "command_history"};
      Event& event = add_event(out.events, ids, place, EventType::PromptInput, std::nullopt, &types);
      event.message = OptionalShared(entry.string());
      event.origin = prompt_origin(event);
      if (options.include_raw) event.raw = held_copy(entry);
    }
  });
}

namespace {

// The events `wanted` accepts by typed text, each list latest first (taken
// from the back: the earliest first).
template <class Wanted>
std::unordered_map<std::string_view, std::vector<const Event*>> by_typed_text(const std::vector<Event>& events,
                                                                              Wanted wanted) {
  std::unordered_map<std::string_view, std::vector<const Event*>> found;
  for (const Event& event : events) {
    if (event.message && wanted(event)) found[typed_part(*event.message)].push_back(&event);
  }
  for (auto& [text, list] : found) {
    std::ranges::stable_sort(list, [](const Event* a, const Event* b) {
      if (a->timestamp.has_value() != b->timestamp.has_value()) return a->timestamp.has_value();
      return a->timestamp && *a->timestamp < *b->timestamp;
    });
    std::ranges::reverse(list);
  }
  return found;
}

const Event* take(std::unordered_map<std::string_view, std::vector<const Event*>>& found, const Event& entry) {
  const auto list = found.find(typed_part(*entry.message));
  if (list == found.end() || list->second.empty()) return nullptr;
  const Event* event = list->second.back();
  list->second.pop_back();
  return event;
}

void place_at(Event& entry, const Event& at) {
  entry.timestamp = at.timestamp;
  entry.timestamp_source = at.timestamp ? TimestampSource::ReferencedEvent : TimestampSource::None;
  entry.session_id = at.session_id;
  entry.working_directory = at.working_directory;
}

}  // namespace

void match_history(std::vector<Event>& history, const std::vector<Event>& sessions) {
  auto prompts = by_typed_text(sessions, [](const Event& e) {
    return e.event_type == EventType::PromptInput && !e.copy_of && e.source.artifact_kind != ArtifactKind::History;
  });
  auto snapshots = by_typed_text(sessions, [](const Event& e) { return e.event_type == EventType::FileSnapshot; });
  for (Event& entry : history) {
    if (entry.event_type != EventType::PromptInput || !entry.message) continue;
    if (const Event* prompt = take(prompts, entry)) {
      entry.copy_of = OptionalShared(std::string_view(prompt->event_id));
      place_at(entry, *prompt);
    } else if (const Event* snapshot = take(snapshots, entry)) {
      // A session whose log is gone still names its prompts in its snapshots.
      place_at(entry, *snapshot);
    }
  }
}

}  // namespace vt::copilot
