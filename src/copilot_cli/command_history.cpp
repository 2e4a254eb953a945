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
  auto read = read_whole_document(path, options);
  if (!read) return fail(std::move(read.error()));
  const SharedString relative_path(relative_path_for(path, base_dir));
  FileRecords out;
  out.sha256 = std::move(read->sha256);
  const auto report = [&](DiagnosticCode code, Severity severity, std::string message) {
    out.diagnostics.push_back(Diagnostic{
        code, severity, SourceRef{ArtifactKind::History, std::nullopt, relative_path, std::nullopt, std::nullopt},
        std::move(message)});
  };
  if (read->failure) {
    report(DiagnosticCode::UnreadableArtifact, Severity::Error, "Failed to read command history: " + *read->failure);
    return out;
  }
  if (read->too_large) {
    report(DiagnosticCode::InvalidJson, Severity::Warning,
           too_large_message("Command history", *read, options.max_line_size));
    return out;
  }
  LineJsonParser parser;
  auto value = parser.parse_view(read->text);
  if (!value) {
    report(DiagnosticCode::InvalidJson, Severity::Error, "Invalid JSON: " + value.error());
    return out;
  }
  const FieldRef entries = value->is_object() ? get_field(*value, "commandHistory") : FieldRef();
  const auto list = entries ? as_array(*entries) : std::nullopt;
  if (!list) {
    report(DiagnosticCode::UnknownRecord, Severity::Warning,
           "Not a Copilot CLI command history (no 'commandHistory' array), skipping.");
    return out;
  }
  EventIds ids;
  std::size_t index = 0;
  for (const JsonView entry : *list) {
    const std::string key = "copilot_history:" + std::to_string(index);
    if (!entry.is_string()) {
      report(DiagnosticCode::InvalidFieldType, Severity::Warning,
             "Entry " + std::to_string(index++) + " of the command history is not a string.");
      continue;
    }
    ++index;
    const RecordPlace place{ArtifactKind::History, relative_path, std::nullopt, key, "command_history"};
    Event& event = add_event(out.events, ids, place, EventType::PromptInput, std::nullopt);
    event.message = OptionalShared(entry.string());
    event.origin = prompt_origin(event);
    if (options.include_raw) event.raw = held_copy(entry);
  }
  const SharedString digest(out.sha256);
  for (Event& event : out.events) event.source_file_sha256 = digest;
  return out;
}

void match_history(std::vector<Event>& history, const std::vector<Event>& sessions) {
  // The sessions' prompts by typed text, each list oldest first.
  std::unordered_map<std::string_view, std::vector<const Event*>> prompts;
  for (const Event& event : sessions) {
    if (event.event_type != EventType::PromptInput || event.copy_of || !event.message) continue;
    if (event.source.artifact_kind == ArtifactKind::History) continue;
    prompts[typed_part(*event.message)].push_back(&event);
  }
  for (auto& [text, list] : prompts) {
    std::ranges::stable_sort(list, [](const Event* a, const Event* b) {
      if (a->timestamp.has_value() != b->timestamp.has_value()) return a->timestamp.has_value();
      return a->timestamp && *a->timestamp < *b->timestamp;
    });
    std::ranges::reverse(list);  // taken from the back
  }
  for (Event& entry : history) {
    if (entry.event_type != EventType::PromptInput || !entry.message) continue;
    const auto found = prompts.find(typed_part(*entry.message));
    if (found == prompts.end() || found->second.empty()) continue;
    const Event& prompt = *found->second.back();
    found->second.pop_back();
    entry.copy_of = OptionalShared(std::string_view(prompt.event_id));
    entry.timestamp = prompt.timestamp;
    entry.timestamp_source = prompt.timestamp ? TimestampSource::ReferencedEvent : TimestampSource::None;
    entry.session_id = prompt.session_id;
    entry.working_directory = prompt.working_directory;
  }
}

}  // namespace vt::copilot
