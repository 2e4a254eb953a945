#include "aider/aider_run.hpp"

#include <algorithm>

#include "aider/aider_event.hpp"
#include "aider/aider_places.hpp"
#include "aider/chat_log.hpp"
#include "aider/input_history.hpp"
#include "aider/llm_history.hpp"
#include "core/append_moved.hpp"
#include "core/file_kind.hpp"
#include "core/ordered_matches.hpp"
#include "core/path_names.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::aider {

namespace fs = std::filesystem;

namespace {

void take(AdapterOutput& out, FileRecords&& records) {
  append_moved(out.events, std::move(records.events));
  append_moved(out.diagnostics, std::move(records.diagnostics));
}

// The chat's launches as windows of its events, and the events of one type
// in each, by compared text, to be matched in order.
class Launches {
 public:
  Launches(const ChatLog& chat, EventType type) : matches_(chat.launches.size()) {
    // By start, each with the last launch in the file that started at or before it.
    for (std::size_t i = 0; i < chat.launches.size(); ++i) {
      if (chat.launches[i].start) by_start_.emplace_back(*chat.launches[i].start, i);
    }
    std::ranges::sort(by_start_, {}, &std::pair<LocalTime, std::size_t>::first);
    for (std::size_t i = 1; i < by_start_.size(); ++i) {
      by_start_[i].second = std::max(by_start_[i].second, by_start_[i - 1].second);
    }
    std::size_t launch = 0;
    for (std::size_t i = 0; i < chat.records.events.size(); ++i) {
      while (launch + 1 < chat.launches.size() && chat.launches[launch + 1].first_event <= i) ++launch;
      const Event& e = chat.records.events[i];
      if (e.event_type == type && e.message && !chat.launches.empty()) matches_[launch].add(compared_text(*e.message), i);
    }
  }

  // The launch `local` falls in: the last that started at or before it.
  std::optional<std::size_t> of(const std::optional<LocalTime>& local) const {
    if (!local) return std::nullopt;
    const auto after = std::ranges::upper_bound(by_start_, *local, {}, &std::pair<LocalTime, std::size_t>::first);
    if (after == by_start_.begin()) return std::nullopt;
    return std::prev(after)->second;
  }

  std::optional<std::size_t> take(std::size_t launch, const std::string& compared) {
    return matches_[launch].take(compared);
  }

 private:
  std::vector<OrderedMatches> matches_;
  std::vector<std::pair<LocalTime, std::size_t>> by_start_;
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

OptionalShared session_of(const ChatLog& chat, std::size_t launch) {
  return chat.records.events[chat.launches[launch].first_event].session_id;
}

void match_inputs(ChatLog& chat, InputHistory& inputs) {
  Launches launches(chat, EventType::PromptInput);
  for (const InputEntry& entry : inputs.entries) {
    Event& event = inputs.records.events[entry.event];
    const std::optional<std::size_t> launch = launches.of(entry.local);
    if (!launch) continue;
    event.session_id = session_of(chat, *launch);
    if (const auto found = launches.take(*launch, entry.compared)) tie(chat.records.events[*found], event);
  }
}

void match_replies(ChatLog& chat, LlmHistory& llm) {
  Launches launches(chat, EventType::AgentMessage);
  for (const LlmReply& reply : llm.replies) {
    Event& event = llm.records.events[reply.event];
    const std::optional<std::size_t> launch = launches.of(reply.local);
    if (!launch) continue;
    if (const auto found = launches.take(*launch, reply.compared)) {
      tie(chat.records.events[*found], event);
      event.facts.model = chat.records.events[*found].facts.model;
    }
  }
  // The requests belong to the launch they were sent in.
  for (Event& event : llm.records.events) {
    const auto when = event.timestamp_raw.string();
    if (event.session_id || !when) continue;
    if (const auto launch = launches.of(parse_local_time(*when))) {
      event.session_id = session_of(chat, *launch);
    }
  }
}

bool is_regular(const fs::path& path, bool follow_symlinks) {
  return is_file_kind(path, follow_symlinks, FileKind::Regular);
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
