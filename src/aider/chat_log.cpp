#include "aider/chat_log.hpp"

#include "aider/aider_event.hpp"
#include "aider/status_lines.hpp"
#include "aider/line_file.hpp"
#include "core/prompt_origin.hpp"
#include "core/repeated_texts.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::aider {

namespace {

constexpr std::string_view kLaunch = "# aider chat started at ";
constexpr std::string_view kThinkingOpen = "<thinking-content-";
constexpr std::string_view kThinkingClose = "</thinking-content-";

enum class LineKind { Blank, Launch, Prompt, Status, Text };

bool is_blank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// `stripped`: the launch's lines lost aider's two trailing blanks (a file
// passed through an editor or a whitespace hook), so a prompt has none.
LineKind kind_of(std::string_view line, bool stripped) {
  if (is_blank(line)) return LineKind::Blank;
  if (line.starts_with(kLaunch)) return LineKind::Launch;
  if (line.starts_with("####") && line.ends_with("  ") && (line.size() == 6 || line[4] == ' ')) return LineKind::Prompt;
  if (stripped && (line == "####" || line.starts_with("#### "))) return LineKind::Prompt;
  if (line.starts_with("> ") || line == ">") return LineKind::Status;
  return LineKind::Text;
}

// A prompt or status line less its mark and aider's two trailing blanks.
std::string_view body(std::string_view line, std::size_t mark) {
  line.remove_prefix(std::min(mark, line.size()));
  if (line.ends_with("  ")) line.remove_suffix(2);
  return line;
}

class ChatParser {
 public:
  ChatParser(ChatLog& out, const SharedString& relative_path, const ParseOptions& options)
      : out_(out), relative_path_(relative_path), options_(options) {}

  void line(std::uint64_t number, std::string_view text);
  void finish() { flush(); }
  void skipped_line() { flush(); }  // a line that could not be read ends the block it was in
  void report_pre_launch();

 private:
  enum class Block { None, Prompt, Status, Text, Reasoning };
  Event& add(std::uint64_t line, std::string_view record_type, EventType type);
  void flush();
  void flush_status();
  void status_segment(std::size_t begin, std::size_t end);

  ChatLog& out_;
  const SharedString& relative_path_;
  const ParseOptions& options_;
  EventIds ids_;
  RepeatedTexts warnings_, types_;
  Block block_ = Block::None;
  std::uint64_t block_line_ = 0;
  std::string text_;           // the block's text so far
  std::size_t trailing_blank_ = 0;
  // A status block's lines (bodies) and their line numbers.
  std::vector<std::pair<std::uint64_t, std::string>> status_;
  std::string last_agent_text_;  // compared text of the last agent message
  OptionalShared session_, model_, directory_;
  OptionalShared launch_warning_;
  bool launched_ = false;
  // Whether the launch's first status line (aider's own) was seen, and
  // whether it had lost its trailing blanks.
  bool status_seen_ = false, stripped_ = false;
  std::uint64_t pre_first_ = 0, pre_last_ = 0, pre_lines_ = 0;
};

Event& ChatParser::add(std::uint64_t line, std::string_view record_type, EventType type) {
  Event& event = add_block_event(out_.records.events, ids_, types_,
                                 BlockPlace{ArtifactKind::ChatLog, relative_path_, line, "chat", record_type}, type);
  event.session_id = session_;
  event.working_directory = directory_;
  return event;
}

void ChatParser::report_pre_launch() {
  if (pre_lines_ == 0) return;
  out_.records.diagnostics.push_back(Diagnostic{
      DiagnosticCode::UnknownRecord, Severity::Warning,
      SourceRef{ArtifactKind::ChatLog, std::nullopt, relative_path_, pre_first_, std::nullopt},
      "Lines " + std::to_string(pre_first_) + " to " + std::to_string(pre_last_) + " (" + std::to_string(pre_lines_) +
          " not blank) come before the first launch header: not read as aider's chat."});
}

void ChatParser::line(std::uint64_t number, std::string_view text) {
  const LineKind kind = kind_of(text, stripped_);
  if (kind == LineKind::Status && launched_ && !status_seen_) {
    status_seen_ = true;
    stripped_ = !text.ends_with("  ");
  }
  if (!launched_ && kind != LineKind::Launch) {
    if (kind != LineKind::Blank) {
      if (pre_lines_++ == 0) pre_first_ = number;
      pre_last_ = number;
    }
    return;
  }
  // Inside reasoning everything but a structural line is its text.
  const bool in_text = block_ == Block::Text || block_ == Block::Reasoning;
  if (kind == LineKind::Blank) {
    if (in_text) {
      ++trailing_blank_;
    } else {
      flush();
    }
    return;
  }
  if (kind == LineKind::Launch) {
    flush();
    report_pre_launch();
    pre_lines_ = 0;
    launched_ = true;
    status_seen_ = stripped_ = false;
    const std::string_view when = text.substr(kLaunch.size());
    const std::optional<LocalTime> start = parse_local_time(when);
    session_ = OptionalShared(launch_session_id(start, number));
    model_ = directory_ = std::nullopt;
    out_.launches.push_back(Launch{start, out_.records.events.size()});
    Event& event = add(number, "launch", EventType::SessionStart);
    event.message = OptionalShared(text.substr(2));
    event.timestamp_raw = Json(std::string(when));
    std::optional<ZonedTime> zoned = start ? in_program_zone(*start, "Launch time") : std::nullopt;
    if (zoned) {
      event.timestamp = zoned->instant;
      event.timestamp_source = TimestampSource::Embedded;
      event.warnings.push_back(warnings_.get(zoned->warning));
    } else {
      out_.records.diagnostics.push_back(Diagnostic{
          DiagnosticCode::InvalidTimestamp, Severity::Warning,
          SourceRef{ArtifactKind::ChatLog, std::nullopt, relative_path_, number, std::nullopt},
          "Launch time '" + std::string(when) + "' is not a local date and time."});
    }
    return;
  }
  const Block wanted = kind == LineKind::Prompt   ? Block::Prompt
                       : kind == LineKind::Status ? Block::Status
                       : block_ == Block::Reasoning ? Block::Reasoning
                                                    : Block::Text;
  if (wanted == Block::Text && text.starts_with(kThinkingOpen)) {
    flush();
    block_ = Block::Reasoning;
    block_line_ = number;
    text_.assign(text);
    if (text.find(kThinkingClose) != std::string_view::npos) flush();
    return;
  }
  if (wanted != block_) {
    flush();
    block_ = wanted;
    block_line_ = number;
  } else if (wanted == Block::Prompt) {
    text_ += '\n';
  } else if (wanted == Block::Text || wanted == Block::Reasoning) {
    text_.append(trailing_blank_ + 1, '\n');
  }
  trailing_blank_ = 0;
  switch (wanted) {
    case Block::Prompt: text_.append(body(text, 5)); break;
    case Block::Status: status_.emplace_back(number, std::string(body(text, 2))); break;
    default: text_.append(text); break;
  }
  if (block_ == Block::Reasoning && text.starts_with(kThinkingClose)) flush();
}

void ChatParser::flush() {
  const Block block = block_;
  block_ = Block::None;
  trailing_blank_ = 0;
  if (block == Block::Status) return flush_status();
  if (block == Block::None) return;
  std::string text = std::move(text_);
  text_.clear();
  if (block == Block::Prompt) {
    Event& event = add(block_line_, "user", EventType::PromptInput);
    const bool handoff = !last_agent_text_.empty() && compared_text(text) == last_agent_text_;
    event.message = std::move(text);
    event.origin = handoff ? PromptOrigin::Injected : prompt_origin(event);
    return;
  }
  const bool reasoning = block == Block::Reasoning;
  Event& event = add(block_line_, reasoning ? "reasoning" : "assistant",
                     reasoning ? EventType::AgentReasoning : EventType::AgentMessage);
  event.facts.model = model_;
  if (!reasoning) last_agent_text_ = compared_text(text);
  event.message = std::move(text);
}

void ChatParser::flush_status() {
  // Segments: the announcement run, each Tokens line, the lines between.
  std::size_t begin = 0;
  const auto segment_kind = [&](std::size_t i) {
    const std::string& text = status_[i].second;
    return is_tokens_line(text) ? 1 : is_announcement(text) ? 2 : 0;
  };
  for (std::size_t i = 0; i < status_.size(); ++i) {
    const bool boundary = i + 1 == status_.size() || segment_kind(i + 1) != segment_kind(i) || segment_kind(i) == 1;
    if (boundary) {
      status_segment(begin, i + 1);
      begin = i + 1;
    }
  }
  status_.clear();
}

void ChatParser::status_segment(std::size_t begin, std::size_t end) {
  const std::uint64_t line = status_[begin].first;
  const std::string& first = status_[begin].second;
  std::string text;
  bool error = false;
  for (std::size_t i = begin; i < end; ++i) {
    if (i > begin) text += '\n';
    text += status_[i].second;
    error = error || is_error_line(status_[i].second);
    if (const auto model = announced_model(status_[i].second)) model_ = OptionalShared(*model);
    constexpr std::string_view kDirectory = "Cur working dir: ";
    if (status_[i].second.starts_with(kDirectory)) {
      directory_ = OptionalShared(std::string_view(status_[i].second).substr(kDirectory.size()));
    }
  }
  if (const auto tokens = parse_tokens_line(first)) {
    Event& event = add(line, "tokens", EventType::TokenUsage);
    event.facts.model = model_;
    Usage usage;
    usage.tokens = tokens->amounts;
    usage.recorded_cost_usd = tokens->message_cost;
    event.facts.usage = usage;
    event.message = std::move(text);
    return;
  }
  const bool announcement = is_announcement(first);
  Event& event = add(line, announcement ? "announcement" : error ? "error" : "status",
                     error && !announcement ? EventType::Error : EventType::TaskState);
  if (announcement) event.facts.model = model_;
  event.message = std::move(text);
}

}  // namespace

Result<ChatLog> read_chat_log(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                              const ParseOptions& options) {
  const SharedString relative_path(relative_path_for(path, base_dir));
  ChatLog out;
  ChatParser parser(out, relative_path, options);
  auto read = read_lines(
      path, relative_path, options, ArtifactKind::ChatLog, out.records,
      [&parser](std::uint64_t number, std::string_view text) { parser.line(number, text); },
      [&parser]() { parser.skipped_line(); });
  if (!read) return fail(std::move(read.error()));
  parser.finish();
  parser.report_pre_launch();
  stamp_file_digest(out.records);
  return out;
}

void fill_times(std::vector<Event>& events) {
  std::optional<Instant> current;
  for (Event& event : events) {
    if (event.event_type == EventType::SessionStart) current = event.timestamp;
    if (event.timestamp) {
      current = event.timestamp;
      continue;
    }
    event.timestamp = current;
    event.timestamp_source = current ? TimestampSource::ReferencedEvent : TimestampSource::None;
  }
}

}  // namespace vt::aider
