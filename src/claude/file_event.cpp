#include "claude/file_event.hpp"

#include "hash/event_id.hpp"

namespace vt::claude {

Event file_event(FileEventSource&& source, CapturedFile&& captured, std::uint64_t sequence) {
  Event event;
  event.provider = Provider::ClaudeCode;
  event.event_type = source.type;
  event.sequence = sequence;
  event.event_id = event_id_for(Provider::ClaudeCode, source.kind, source.relative_path, source.source_key);
  take_captured_file(event, std::move(captured));
  event.source = SourceRef{source.kind, std::nullopt, std::move(source.relative_path), std::nullopt,
                           std::move(source.source_id)};
  return event;
}

void tag_capture_failure(std::vector<Diagnostic>& diagnostics, std::size_t before,
                         std::string_view prefix, const std::string& source_id) {
  for (std::size_t i = before; i < diagnostics.size(); ++i) {
    Diagnostic& d = diagnostics[i];
    if (d.source && d.message.starts_with(prefix)) d.source->source_id = source_id;
  }
}

}  // namespace vt::claude
