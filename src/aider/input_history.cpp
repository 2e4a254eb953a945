#include "aider/input_history.hpp"

#include "aider/aider_event.hpp"
#include "aider/line_file.hpp"
#include "core/prompt_origin.hpp"
#include "core/repeated_texts.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::aider {

Result<InputHistory> read_input_history(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                        const ParseOptions& options) {
  const SharedString relative_path(relative_path_for(path, base_dir));
  InputHistory out;
  EventIds ids;
  RepeatedTexts texts;  // record types and warnings, shared
  const auto report = [&](DiagnosticCode code, std::uint64_t line, std::string message) {
    out.records.diagnostics.push_back(Diagnostic{
        code, Severity::Warning, SourceRef{ArtifactKind::History, std::nullopt, relative_path, line, std::nullopt},
        std::move(message)});
  };
  std::string text;
  bool open = false;        // an entry is collecting its lines
  bool first_line = true;  // none collected yet
  const auto close = [&]() {
    if (!open) return;
    open = false;
    Event& event = out.records.events[out.entries.back().event];
    out.entries.back().compared = compared_text(text);
    event.message = std::move(text);
    event.origin = prompt_origin(event);
    text.clear();
  };
  const auto line = [&](std::uint64_t number, std::string_view body) {
    if (body.starts_with('+') && open) {
      if (!first_line) text += '\n';
      first_line = false;
      text.append(body.substr(1));
      return;
    }
    if (body.starts_with("# ")) {
      close();
      const std::string_view when = body.substr(2);
      InputEntry entry{out.records.events.size(), parse_local_time(when), {}};
      Event& event = add_block_event(out.records.events, ids, texts,
                                     BlockPlace{ArtifactKind::History, relative_path, number, "input", "input_history"},
                                     EventType::PromptInput);
      event.timestamp_raw = Json(std::string(when));
      const std::optional<ZonedTime> zoned = entry.local ? in_program_zone(*entry.local, "Input time") : std::nullopt;
      if (zoned) {
        event.timestamp = zoned->instant;
        event.timestamp_source = TimestampSource::Embedded;
        event.warnings.push_back(texts.get(zoned->warning));
      } else {
        report(DiagnosticCode::InvalidTimestamp, number,
               "Entry time '" + std::string(when) + "' is not a local date and time.");
      }
      out.entries.push_back(std::move(entry));
      open = true;
      first_line = true;
      return;
    }
    if (body.find_first_not_of(" \t") == std::string_view::npos) return;
    report(DiagnosticCode::UnknownRecord, number,
           "Not an input history line (neither '# <time>' nor '+<text>'), skipping.");
  };
  auto read = read_lines(path, relative_path, options, ArtifactKind::History, out.records, line);
  if (!read) return fail(std::move(read.error()));
  close();
  stamp_file_digest(out.records);
  return out;
}

}  // namespace vt::aider
