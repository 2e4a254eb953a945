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

Place place_of(const Event& event) {
  return Place{event.source.relative_path.str(), event.source.line_number, event.input ? event.input->str() : ""};
}

PlaceKey place_key(const Event& event) {
  return PlaceKey(event.input ? std::string_view(*event.input) : std::string_view(), event.source.relative_path.str(),
                  event.source.line_number);
}

void SessionBuilder::add(const Event& event, EventCount counted) {
  ++session_.events;
  widen(session_.first, session_.last, event.timestamp);
  if (event.working_directory) add_distinct(session_.working_directories, *event.working_directory);
  // A copy of an event read before (marked by the reading) is one more
  // place of what that event shows, and counts nowhere.
  if (event.copy_of) return copy(event);
  if (event.facts.model && *event.facts.model != "<synthetic>") add_distinct(session_.models, *event.facts.model);
  if (event.facts.git_branch) add_distinct(session_.git_branches, *event.facts.git_branch);
  // A record counted as a typed prompt begins a turn at its first event.
  if (!facts_.typed_places.empty()) {
    const PlaceKey place = place_key(event);
    if (facts_.typed_places.contains(place) && begun_.insert(place).second) {
      start_turn();
      prompt_record_ = place;
    }
  }
  switch (session_.provider) {
    case Provider::ClaudeCode:
      claude(event, counted);
      break;
    case Provider::Codex:
      codex(event, counted);
      break;
    default:
      generic(event, counted);
      break;
  }
  session_.turns.back().counts.add(event, counted);
}

void SessionBuilder::finish() {
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
    session_.counts.add(turn.counts);
  }
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
  if (prompt_record_ && !prompt_shown_ && kind != ItemKind::Prompt) before_prompt_.push_back(event.event_id.str());
  if (kind == ItemKind::Context) ++session_.hidden_context;
  if (kind == ItemKind::Housekeeping) ++session_.hidden_housekeeping;
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
  // A place of an item that will move behind the turn's prompt moves with it.
  if (prompt_record_ && !prompt_shown_ && item.first + 1 == session_.turns.size()) {
    before_prompt_.push_back(event.event_id.str());
  }
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

void SessionBuilder::start_turn() {
  Turn& turn = session_.turns.emplace_back();
  turn.number = session_.turns.size() - 1;
  messages_.clear();
  reasoning_.clear();
  prompt_shown_ = false;
  before_prompt_.clear();
}

bool SessionBuilder::in_prompt_record(const Event& event) const {
  return prompt_record_ && place_key(event) == *prompt_record_;
}

void SessionBuilder::prompt_text(const Event& event, std::string_view text) {
  push(ItemKind::Prompt, event, "", text);
  if (prompt_shown_) return;  // more text blocks of the record
  prompt_shown_ = true;
  Turn& turn = session_.turns.back();
  // The prompt goes first; what its record gave before it follows.
  if (turn.items.size() > 1) {
    std::rotate(turn.items.begin(), turn.items.end() - 1, turn.items.end());
    for (const std::string& id : before_prompt_) ++shown_[id].item.second;
    shown_[event.event_id.str()].item.second = 0;
  }
  const ItemRef ref{session_.turns.size() - 1, 0};
  turn.preview = from_text(text, first_line(text, kTitleLimit));
  if (search_.size() < kSearchTextLimit && !options_.redact) {
    std::string line = first_line(text, kSearchTextLimit - search_.size());
    search_ += search_.empty() ? line : " " + line;
  }
  const std::string key(text);
  if (auto pending = early_copies_.find(key); pending != early_copies_.end()) {
    for (Place& place : pending->second) at(ref).places.push_back(std::move(place));
    early_copies_.erase(pending);
  }
  prompts_[key] = ref;
}

void SessionBuilder::prompt_input(const Event& event, ItemKind kind, std::string label) {
  const std::string text = event.message.value_or("");
  const bool typed = event.origin == PromptOrigin::Typed;
  if (in_prompt_record(event)) {
    if (typed) return prompt_text(event, text);
  } else if (typed && facts_.typed_texts.contains(text)) {
    return prompt_copy(event, text);
  } else if (event.source.artifact_kind == ArtifactKind::History) {
    kind = ItemKind::Context;
    label = event.origin == PromptOrigin::Command ? "command" : "prompt history";
  }
  push(kind, event, std::move(label), text);
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

void SessionBuilder::tool_call(const Event& event, std::string_view line) {
  push(ItemKind::ToolCall, event, "", line);
  const std::string_view name = event.facts.tool_name ? std::string_view(*event.facts.tool_name) : line;
  if (session_.provider == Provider::ClaudeCode && !at(last_ref()).sidechain && launches_sub_agent(name)) {
    launchers_.push_back(last_ref());
  }
  if (event.facts.tool_call_id && !event.facts.tool_call_id->empty()) calls_[event.facts.tool_call_id->str()] = last_ref();
}

void SessionBuilder::tool_result(const Event& event, std::string label, std::string_view text) {
  std::optional<ItemRef> call;
  if (event.facts.tool_call_id) {
    if (const auto found = calls_.find(event.facts.tool_call_id->str()); found != calls_.end()) call = found->second;
  }
  if (!call) {
    push(ItemKind::ToolResult, event, std::move(label), text);
    return;
  }
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

std::string SessionBuilder::result_label(const Event& event, std::string_view result) {
  std::string label(event.facts.tool_error.value_or(false) ? std::string_view("error") : result);
  if (event.facts.exit_code) label += " \xC2\xB7 exit " + std::to_string(*event.facts.exit_code);
  return label;
}

void SessionBuilder::usage_record(const Event& event, EventCount counted, std::string_view label) {
  std::string text(label);
  if (event.facts.usage && !counted.usage) text += " (counted where first read)";
  housekeeping(event, text);
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
