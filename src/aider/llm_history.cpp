#include "aider/llm_history.hpp"

#include "aider/aider_event.hpp"
#include "aider/line_file.hpp"
#include "core/repeated_texts.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::aider {

namespace {

constexpr std::string_view kRequest = "TO LLM ";
constexpr std::string_view kReply = "LLM RESPONSE ";
constexpr std::string_view kAssistant = "ASSISTANT ";

}  // namespace

Result<LlmHistory> read_llm_history(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                    const ParseOptions& options) {
  const SharedString relative_path(relative_path_for(path, base_dir));
  LlmHistory out;
  EventIds ids;
  RepeatedTexts texts;  // record types and warnings, shared
  const auto report = [&](DiagnosticCode code, std::uint64_t line, std::string message) {
    out.records.diagnostics.push_back(Diagnostic{
        code, Severity::Warning, SourceRef{ArtifactKind::LlmLog, std::nullopt, relative_path, line, std::nullopt},
        std::move(message)});
  };
  std::optional<std::size_t> open;  // the event of the block being read
  bool reply = false;
  bool first_line = true;
  std::string text;
  std::uint64_t pre_first = 0, pre_last = 0, pre_lines = 0;
  const auto report_pre_header = [&]() {
    if (pre_lines == 0) return;
    report(DiagnosticCode::UnknownRecord, pre_first,
           "Lines " + std::to_string(pre_first) + " to " + std::to_string(pre_last) + " (" +
               std::to_string(pre_lines) + " not blank) come before the first block header: not read as aider's.");
    pre_lines = 0;
  };
  const auto close = [&]() {
    if (!open) return;
    Event& event = out.records.events[*open];
    if (reply) out.replies.back().compared = compared_text(text);
    // A reply without text (a call that failed or was retried) is no message.
    if (reply && out.replies.back().compared.empty()) event.event_type = EventType::TaskState;
    event.message = std::move(text);
    text.clear();
    open.reset();
  };
  const auto line = [&](std::uint64_t number, std::string_view body) {
    const bool request_header = body.starts_with(kRequest);
    if (request_header || body.starts_with(kReply)) {
      close();
      report_pre_header();
      reply = !request_header;
      first_line = true;
      const std::string_view when = body.substr(request_header ? kRequest.size() : kReply.size());
      const std::optional<LocalTime> local = parse_local_time(when);
      open = out.records.events.size();
      Event& event = add_block_event(
          out.records.events, ids, texts,
          BlockPlace{ArtifactKind::LlmLog, relative_path, number, "llm", reply ? "llm_response" : "llm_request"},
          reply ? EventType::AgentMessage : EventType::DeveloperMessage);
      event.timestamp_raw = Json(std::string(when));
      const std::optional<ZonedTime> zoned =
          local ? in_program_zone(*local, reply ? "Reply time" : "Request time") : std::nullopt;
      if (zoned) {
        event.timestamp = zoned->instant;
        event.timestamp_source = TimestampSource::Embedded;
        event.warnings.push_back(texts.get(zoned->warning));
      } else {
        report(DiagnosticCode::InvalidTimestamp, number,
               "Block time '" + std::string(when) + "' is not a local date and time.");
      }
      if (reply) out.replies.push_back(LlmReply{*open, local, {}});
      return;
    }
    if (!open) {
      if (body.find_first_not_of(" \t") != std::string_view::npos) {
        if (pre_lines++ == 0) pre_first = number;
        pre_last = number;
      }
      return;
    }
    if (!first_line) text += '\n';
    first_line = false;
    if (reply && body == kAssistant.substr(0, kAssistant.size() - 1)) body = {};
    text.append(reply && body.starts_with(kAssistant) ? body.substr(kAssistant.size()) : body);
  };
  auto read = read_lines(path, relative_path, options, ArtifactKind::LlmLog, out.records, line);
  if (!read) return fail(std::move(read.error()));
  close();
  report_pre_header();
  stamp_file_digest(out.records);
  return out;
}

}  // namespace vt::aider
