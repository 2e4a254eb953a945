// The shared steps of building a session's model: turns started by typed
// prompts, items and their places, tool results tied to their calls, copies
// joined to what they repeat, sub-agent threads tied to their calls.
#include "output/session_report/session_builder.hpp"

#include <algorithm>

#include "hash/sha256.hpp"

namespace vt::report {

std::string_view record_type(const Event& event) {
  return event.source.record_type ? std::string_view(*event.source.record_type) : std::string_view();
}

// The record type less a sub-agent's "sidechain/" mark.
std::string_view base_record_type(std::string_view type) {
  constexpr std::string_view kSidechain = "sidechain/";
  if (type.starts_with(kSidechain)) type.remove_prefix(kSidechain.size());
  return type;
}

void add_distinct(std::vector<std::string>& list, std::string_view value) {
  if (value.empty() || std::ranges::find(list, value) != list.end()) return;
  list.emplace_back(value);
}

void widen(std::optional<Instant>& first, std::optional<Instant>& last, const std::optional<Instant>& time) {
  if (!time) return;
  if (!first || *time < *first) first = time;
  if (!last || *time > *last) last = time;
}

std::uint64_t character_count(std::string_view text) {
  return static_cast<std::uint64_t>(std::ranges::count_if(
      text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::uint64_t line_count(std::string_view text) {
  if (text.empty()) return 0;
  return static_cast<std::uint64_t>(std::ranges::count(text, '\n')) + (text.ends_with('\n') ? 0 : 1);
}

// Whether a Claude Code tool call starts a sub-agent ("Task: …", "Agent: …").
bool launches_sub_agent(std::string_view call) {
  for (const std::string_view name : {"Task", "Agent"}) {
    if (call.starts_with(name) && (call.size() == name.size() || call[name.size()] == ':')) return true;
  }
  return false;
}

Place place_of(const Event& event) { return Place{event.source.relative_path.str(), event.source.line_number}; }

void SessionBuilder::add(const Event& event) {
  ++session_.events;
  widen(session_.first, session_.last, event.timestamp);
  if (event.working_directory) add_distinct(session_.working_directories, *event.working_directory);
  // A copy of an event read before (marked by the reading) is one more
  // place of what that event shows, and counts nowhere.
  if (event.copy_of) return copy(event);
  if (event.facts.model && *event.facts.model != "<synthetic>") add_distinct(session_.models, *event.facts.model);
  switch (session_.provider) {
    case Provider::ClaudeCode:
      return claude(event);
    case Provider::Codex:
      return codex(event);
    default:
      return generic(event);
  }
}

void SessionBuilder::finish() {
  close_turn();
  session_.title = !custom_title_.empty() ? custom_title_ : ai_title_;
  for (const Turn& turn : session_.turns) {
    if (session_.title.empty() && turn.number > 0) session_.title = turn.preview;
  }
  session_.search_text = std::move(search_);
  if (session_.turns.front().items.empty() && session_.turns.size() > 1) {
    session_.turns.erase(session_.turns.begin());
  }
  for (Turn& turn : session_.turns) {
    for (const Item& item : turn.items) widen(turn.first, turn.last, item.time);
    if (session_.provider != Provider::Codex || !have_running_) session_.tokens += turn.tokens;
  }
  if (session_.provider == Provider::Codex && have_running_) session_.tokens = running_;
}

ShownText SessionBuilder::text_of(std::string_view text, bool cut) const {
  if (!options_.redact) return cut ? shown_cut(text) : shown_whole(text);
  ShownText shown;
  shown.text = "[redacted: " + grouped(text.size()) + " bytes, sha256 " + hex_lower(sha256_of(text)) + "]";
  shown.full_bytes = text.size();
  shown.full_characters = character_count(text);
  shown.full_lines = line_count(text);
  return shown;
}

// A line taken from an input text (a title, a file's name): the text's
// length and digest instead when texts are redacted.
std::string SessionBuilder::from_text(std::string_view text, std::string line) const {
  return options_.redact ? text_of(text, false).text : std::move(line);
}

Item& SessionBuilder::push(ItemKind kind, const Event& event, std::string label, std::string_view text) {
  const bool sidechain = record_type(event).starts_with("sidechain/");
  const std::size_t thread = sidechain ? thread_for(event) : 0;
  Turn& turn = session_.turns.back();
  Item& item = turn.items.emplace_back();
  item.thread = thread;
  item.kind = kind;
  item.time = event.timestamp;
  item.label = std::move(label);
  item.sidechain = sidechain;
  item.body = text_of(text, hidden_kind(kind) || kind == ItemKind::Injected);
  item.places.push_back(place_of(event));
  shown_[event.event_id.str()] = Shown{{session_.turns.size() - 1, turn.items.size() - 1}, std::nullopt};
  if (kind == ItemKind::Context) ++session_.hidden_context;
  if (kind == ItemKind::Housekeeping) ++session_.hidden_housekeeping;
  if (kind == ItemKind::ToolCall) ++session_.tool_calls;
  return item;
}

// The sub-agent thread an event of a sub-agent belongs to: the thread of
// its file while the call that started it waits for its result, else a
// new thread for the oldest call of the turn that starts a sub-agent and
// has none yet; 0 when there is no such call.
std::size_t SessionBuilder::thread_for(const Event& event) {
  const std::string& key = event.source.relative_path.str();
  if (const auto open = open_threads_.find(key); open != open_threads_.end()) return open->second.first;
  const std::size_t turn = session_.turns.size() - 1;
  for (const ItemRef& launcher : launchers_) {
    if (launcher.first != turn || at(launcher).launches != 0) continue;
    at(launcher).launches = ++threads_;
    open_threads_[key] = {threads_, launcher};
    return threads_;
  }
  return 0;
}

// The thread of a call that has its result is over.
void SessionBuilder::close_thread(const ItemRef& call) {
  std::erase_if(open_threads_, [&](const auto& entry) { return entry.second.second == call; });
}

void SessionBuilder::shown_as(const Event& event, const ItemRef& item, std::optional<std::size_t> result) {
  shown_[event.event_id.str()] = Shown{item, result};
}

void SessionBuilder::copy(const Event& event) {
  const auto first = shown_.find(std::string(*event.copy_of));
  if (first == shown_.end()) {
    // Its first occurrence is not on this page: the copy shows on its own.
    push(ItemKind::Housekeeping, event, "copy of an event read elsewhere", event.message.value_or(""));
    return;
  }
  const Shown target = first->second;
  Item& item = at(target.item);
  (target.result ? item.results[*target.result].places : item.places).push_back(place_of(event));
  shown_as(event, target.item, target.result);
}

void SessionBuilder::close_turn() {
  if (session_.provider == Provider::Codex && have_running_) {
    session_.turns.back().tokens = Tokens::difference(running_, turn_base_);
    turn_base_ = running_;
  }
}

void SessionBuilder::start_turn() {
  close_turn();
  Turn& turn = session_.turns.emplace_back();
  turn.number = session_.turns.size() - 1;
  messages_.clear();
  reasoning_.clear();
}

// A typed prompt: starts a turn; copies read earlier join it. Files its
// record attached before it (IDE context) move into its turn, after it.
void SessionBuilder::prompt(const Event& event, std::string_view text) {
  std::vector<Item> attached;
  std::vector<Item>& before = session_.turns.back().items;
  while (!before.empty() && before.back().kind == ItemKind::Injected && attached_record_ == record_) {
    attached.insert(attached.begin(), std::move(before.back()));
    before.pop_back();
  }
  start_turn();
  session_.turns.back().preview = from_text(text, first_line(text, kTitleLimit));
  push(ItemKind::Prompt, event, "", text);
  for (Item& item : attached) session_.turns.back().items.push_back(std::move(item));
  ++session_.prompts;
  if (search_.size() < kSearchTextLimit && !options_.redact) {
    std::string line = first_line(text, kSearchTextLimit - search_.size());
    search_ += search_.empty() ? line : " " + line;
  }
  const std::string key(text);
  auto pending = early_copies_.find(key);
  if (pending != early_copies_.end()) {
    for (Place& place : pending->second) at(last_ref()).places.push_back(std::move(place));
    early_copies_.erase(pending);
  }
  prompts_[key] = last_ref();
}

// A prompt of the history, in a session of which nothing else was read:
// a command ("/clear", "!ls") is no prompt.
void SessionBuilder::history_prompt(const Event& event, std::string_view text) {
  if (event.origin == PromptOrigin::Command) {
    push(ItemKind::Context, event, "command", text);
    return;
  }
  prompt(event, text);
}

// Another record of a typed prompt: a place of that prompt, now or once it is read.
void SessionBuilder::prompt_copy(const Event& event, const std::string& text) {
  if (const auto found = prompts_.find(text); found != prompts_.end()) {
    at(found->second).places.push_back(place_of(event));
    shown_as(event, found->second);
  } else {
    early_copies_[text].push_back(place_of(event));
  }
}

// An item whose text the agent also wrote in an earlier record of the turn.
bool SessionBuilder::joined_copy(const Event& event, std::map<std::string, ItemRef>& seen, const std::string& text) {
  const auto found = seen.find(text);
  if (found == seen.end()) return false;
  at(found->second).places.push_back(place_of(event));
  shown_as(event, found->second);
  return true;
}

void SessionBuilder::tool_call(const Event& event, std::string_view line, std::optional<std::string> id) {
  push(ItemKind::ToolCall, event, "", line);
  if (session_.provider == Provider::ClaudeCode && !at(last_ref()).sidechain && launches_sub_agent(line)) {
    launchers_.push_back(last_ref());
  }
  if (id) calls_[*id] = last_ref();
  waiting_.push_back(last_ref());
}

// Attaches a result to its call: by id, else (no id known) to the oldest
// call still waiting. A result without a call stands alone.
void SessionBuilder::tool_result(const Event& event, const std::optional<std::string>& id, std::string label,
                 std::string_view text) {
  std::optional<ItemRef> call;
  if (id) {
    if (const auto found = calls_.find(*id); found != calls_.end()) call = found->second;
  } else {
    while (!waiting_.empty() && answered_.contains(waiting_.front())) waiting_.pop_front();
    if (!waiting_.empty()) call = waiting_.front();
  }
  if (!call) {
    push(ItemKind::ToolResult, event, std::move(label), text);
    return;
  }
  answered_.insert(*call);
  close_thread(*call);
  Item& item = at(*call);
  // An agent that logs one output twice (Codex) gets one result, two places.
  const ShownText body = text_of(text, true);
  for (std::size_t r = 0; r < item.results.size(); ++r) {
    ItemResult& result = item.results[r];
    if (result.body.text == body.text && result.body.full_bytes == body.full_bytes) {
      result.places.push_back(place_of(event));
      shown_as(event, *call, r);
      return;
    }
  }
  item.results.push_back(ItemResult{std::move(label), body, {place_of(event)}});
  shown_as(event, *call, item.results.size() - 1);
}

void SessionBuilder::housekeeping(const Event& event, std::string_view label) {
  push(ItemKind::Housekeeping, event, std::string(label), event.message.value_or(""));
}

void SessionBuilder::attachment(const Event& event, std::string label) {
  std::string text = event.message.value_or("");
  if (event.artifact) {
    const Artifact& artifact = *event.artifact;
    std::string facts;
    if (artifact.resolved_path) facts += *artifact.resolved_path;
    if (artifact.snapshot_version) facts += (facts.empty() ? "v" : " v") + std::to_string(*artifact.snapshot_version);
    if (artifact.media_type) facts += (facts.empty() ? "" : ", ") + *artifact.media_type;
    if (artifact.size) facts += (facts.empty() ? "" : ", ") + grouped(*artifact.size) + " bytes";
    if (artifact.sha256) facts += (facts.empty() ? "sha256 " : ", sha256 ") + *artifact.sha256;
    if (!facts.empty()) text = text.empty() ? facts : text + "\n" + facts;
  }
  push(ItemKind::Attachment, event, std::move(label), text);
}

bool SessionBuilder::shared_kind(const Event& event, std::string_view type) {
  const std::string text = event.message.value_or("");
  switch (event.event_type) {
    case EventType::ImageAttachment:
      attachment(event, "image");
      return true;
    case EventType::PasteAttachment:
      attachment(event, "paste");
      return true;
    case EventType::FileSnapshot:
      attachment(event, "file snapshot");
      return true;
    case EventType::ContextCompacted:
      push(ItemKind::Compaction, event, std::string(type), text);
      return true;
    case EventType::Error:
      push(ItemKind::Error, event, std::string(type), text);
      return true;
    default:
      return false;
  }
}

}  // namespace vt::report
