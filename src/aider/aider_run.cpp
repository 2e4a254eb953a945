#include "aider/aider_run.hpp"

#include <algorithm>

#include "aider/aider_event.hpp"
#include "aider/aider_places.hpp"
#include "aider/chat_log.hpp"
#include "aider/input_history.hpp"
#include "aider/llm_history.hpp"
#include "core/append_moved.hpp"
#include "core/file_kind.hpp"
#include "core/path_names.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::aider {

namespace fs = std::filesystem;

namespace {

void take(AdapterOutput& out, FileRecords&& records) {
  append_moved(out.events, std::move(records.events));
  append_moved(out.diagnostics, std::move(records.diagnostics));
}

// The chat's launches as windows of its events.
class Launches {
 public:
  Launches(const ChatLog& chat) : chat_(chat), next_(chat.launches.size(), 0) {
    for (std::size_t i = 0; i < chat.launches.size(); ++i) next_[i] = chat.launches[i].first_event;
  }

  // The launch `local` falls in: the last that started at or before it.
  std::optional<std::size_t> of(const std::optional<LocalTime>& local) const {
    if (!local) return std::nullopt;
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < chat_.launches.size(); ++i) {
      if (chat_.launches[i].start && *chat_.launches[i].start <= *local) found = i;
    }
    return found;
  }

  // The first event of `launch` from where the last match left off that
  // `wanted` accepts, taken.
  template <class Wanted>
  std::optional<std::size_t> take(std::size_t launch, std::vector<std::size_t>& from, Wanted wanted) const {
    const std::size_t end =
        launch + 1 < chat_.launches.size() ? chat_.launches[launch + 1].first_event : chat_.records.events.size();
    for (std::size_t i = from[launch]; i < end; ++i) {
      if (wanted(chat_.records.events[i])) {
        from[launch] = i + 1;
        return i;
      }
    }
    return std::nullopt;
  }

  std::vector<std::size_t> starts() const { return next_; }

 private:
  const ChatLog& chat_;
  std::vector<std::size_t> next_;
};

// Ties `copy` (an event of another file) to the chat event it repeats.
void tie(Event& chat_event, Event& copy) {
  copy.copy_of = OptionalShared(std::string_view(chat_event.event_id));
  copy.session_id = chat_event.session_id;
  copy.working_directory = chat_event.working_directory;
  if (copy.timestamp) {
    chat_event.timestamp = copy.timestamp;
    chat_event.timestamp_source = TimestampSource::ReferencedEvent;
  }
}

void match_inputs(ChatLog& chat, InputHistory& inputs) {
  const Launches launches(chat);
  std::vector<std::size_t> from = launches.starts();
  for (const InputEntry& entry : inputs.entries) {
    Event& event = inputs.records.events[entry.event];
    const std::optional<std::size_t> launch = launches.of(entry.local);
    if (!launch) continue;
    event.session_id = chat.records.events[chat.launches[*launch].first_event].session_id;
    const auto found = launches.take(*launch, from, [&](const Event& e) {
      return e.event_type == EventType::PromptInput && e.message && compared_text(*e.message) == entry.compared;
    });
    if (found) tie(chat.records.events[*found], event);
  }
}

void match_replies(ChatLog& chat, LlmHistory& llm) {
  const Launches launches(chat);
  std::vector<std::size_t> from = launches.starts();
  for (const LlmReply& reply : llm.replies) {
    Event& event = llm.records.events[reply.event];
    const std::optional<std::size_t> launch = launches.of(reply.local);
    if (!launch) continue;
    const auto found = launches.take(*launch, from, [&](const Event& e) {
      return e.event_type == EventType::AgentMessage && e.message && compared_text(*e.message) == reply.compared;
    });
    if (found) {
      tie(chat.records.events[*found], event);
      event.facts.model = chat.records.events[*found].facts.model;
    }
  }
  // The requests belong to the launch they were sent in.
  for (Event& event : llm.records.events) {
    if (event.session_id || !event.timestamp_raw || !event.timestamp_raw->is_string()) continue;
    if (const auto launch = launches.of(parse_local_time(event.timestamp_raw->get<std::string>()))) {
      event.session_id = chat.records.events[chat.launches[*launch].first_event].session_id;
    }
  }
}

bool is_regular(const fs::path& path, bool follow_symlinks) {
  const auto kind = file_kind(path, follow_symlinks);
  return kind && *kind == FileKind::Regular;
}

// What a member's read gave, or its failure as a diagnostic (a run asked to
// stop ends here).
template <class T>
Result<std::optional<T>> member(Result<T> read, const fs::path& path, const fs::path& base_dir, ArtifactKind kind,
                                const ParseOptions& options, AdapterOutput& out) {
  if (read) return std::optional<T>(std::move(*read));
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  out.diagnostics.push_back(Diagnostic{
      DiagnosticCode::UnreadableArtifact, Severity::Error,
      SourceRef{kind, std::nullopt, relative_path_for(path, base_dir), std::nullopt, std::nullopt}, read.error().text()});
  return std::optional<T>();
}

}  // namespace

bool is_aider_file_name(std::string_view name) {
  return std::ranges::find(kFileNames, name) != kFileNames.end();
}

bool is_aider_place(const fs::path& dir, bool follow_symlinks) {
  return std::ranges::any_of(kFileNames, [&](std::string_view name) { return is_regular(dir / name, follow_symlinks); });
}

Result<AdapterOutput> read_place(const fs::path& dir, const fs::path& base_dir, const ParseOptions& options) {
  AdapterOutput out;
  const bool follow = options.follow_symlinks;
  std::optional<ChatLog> chat;
  std::optional<InputHistory> inputs;
  std::optional<LlmHistory> llm;
  if (const fs::path file = dir / kChatName; is_regular(file, follow)) {
    auto read = member(read_chat_log(file, base_dir, options), file, base_dir, ArtifactKind::ChatLog, options, out);
    if (!read) return fail(std::move(read.error()));
    chat = std::move(*read);
  }
  if (const fs::path file = dir / kInputName; is_regular(file, follow)) {
    auto read = member(read_input_history(file, base_dir, options), file, base_dir, ArtifactKind::History, options, out);
    if (!read) return fail(std::move(read.error()));
    inputs = std::move(*read);
  }
  if (const fs::path file = dir / kLlmName; is_regular(file, follow)) {
    auto read = member(read_llm_history(file, base_dir, options), file, base_dir, ArtifactKind::LlmLog, options, out);
    if (!read) return fail(std::move(read.error()));
    llm = std::move(*read);
  }
  if (chat) {
    if (inputs) match_inputs(*chat, *inputs);
    if (llm) match_replies(*chat, *llm);
    fill_times(chat->records.events);
    take(out, std::move(chat->records));
  }
  if (inputs) take(out, std::move(inputs->records));
  if (llm) take(out, std::move(llm->records));
  return out;
}

Result<AdapterOutput> read_file(const fs::path& path, const fs::path& base_dir, const ParseOptions& options) {
  AdapterOutput out;
  if (name_is(path, kChatName)) {
    auto read = read_chat_log(path, base_dir, options);
    if (!read) return fail(std::move(read.error()));
    fill_times(read->records.events);
    take(out, std::move(read->records));
  } else if (name_is(path, kInputName)) {
    auto read = read_input_history(path, base_dir, options);
    if (!read) return fail(std::move(read.error()));
    take(out, std::move(read->records));
  } else {
    auto read = read_llm_history(path, base_dir, options);
    if (!read) return fail(std::move(read.error()));
    take(out, std::move(read->records));
  }
  return out;
}

}  // namespace vt::aider
