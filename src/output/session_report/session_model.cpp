#include "output/session_report/session_model.hpp"

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "hash/sha256.hpp"
#include "output/session_report/agent_records.hpp"
#include "output/session_report/page_names.hpp"

namespace vt::report {

namespace {

using Key = std::pair<Provider, std::string>;
using ItemRef = std::pair<std::size_t, std::size_t>;  // turn index, item index

std::string_view record_type(const Event& event) {
  return event.source.record_type ? std::string_view(*event.source.record_type) : std::string_view();
}

// The record type less a sub-agent's "sidechain/" mark.
std::string_view base_record_type(std::string_view type) {
  constexpr std::string_view kSidechain = "sidechain/";
  if (type.starts_with(kSidechain)) type.remove_prefix(kSidechain.size());
  return type;
}

// The payload type of a Codex record type ("event_msg/user_message" →
// "user_message"); older rollouts have the bare name.
std::string_view codex_name(std::string_view type) {
  const auto slash = type.find('/');
  return slash == std::string_view::npos ? type : type.substr(slash + 1);
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

bool claude_ide_context(std::string_view text);

Place place_of(const Event& event) { return Place{event.source.relative_path.str(), event.source.line_number}; }

// What one session's events say before its items are built: the texts typed
// as prompts (so that a copy read earlier joins the prompt read later).
struct SessionFacts {
  bool has_transcript = false;    // Claude Code: read from a session transcript
  bool has_rollout = false;       // Codex: read from a rollout log
  bool has_typed_events = false;  // Codex: event messages carry the typed prompts
  std::unordered_set<std::string> typed_texts;
};

class SessionBuilder {
 public:
  SessionBuilder(Session& session, SessionFacts facts, const ModelOptions& options)
      : session_(session), facts_(std::move(facts)), options_(options) {
    session_.turns.emplace_back();
  }

  void add(const Event& event) {
    ++session_.events;
    widen(session_.first, session_.last, event.timestamp);
    if (event.working_directory) add_distinct(session_.working_directories, *event.working_directory);
    if (session_.provider == Provider::Codex) {
      codex(event);
    } else {
      claude(event);
    }
  }

  void finish() {
    close_turn();
    if (session_.turns.front().items.empty() && session_.turns.size() > 1) {
      session_.turns.erase(session_.turns.begin());
    }
    for (Turn& turn : session_.turns) {
      for (const Item& item : turn.items) widen(turn.first, turn.last, item.time);
      if (session_.provider != Provider::Codex) session_.tokens += turn.tokens;
    }
    if (session_.provider == Provider::Codex && have_running_) session_.tokens = running_;
  }

 private:
  ShownText text_of(std::string_view text, bool cut) const {
    if (!options_.redact) return cut ? shown_cut(text) : shown_whole(text);
    ShownText shown;
    shown.text = "[redacted: " + grouped(text.size()) + " bytes, sha256 " + hex_lower(sha256_of(text)) + "]";
    shown.full_bytes = text.size();
    shown.full_characters = character_count(text);
    shown.full_lines = line_count(text);
    return shown;
  }

  Item& push(ItemKind kind, const Event& event, std::string label, std::string_view text) {
    Turn& turn = session_.turns.back();
    Item& item = turn.items.emplace_back();
    item.kind = kind;
    item.time = event.timestamp;
    item.label = std::move(label);
    item.sidechain = record_type(event).starts_with("sidechain/");
    item.body = text_of(text, hidden_kind(kind));
    item.places.push_back(place_of(event));
    if (kind == ItemKind::Context) ++session_.hidden_context;
    if (kind == ItemKind::Housekeeping) ++session_.hidden_housekeeping;
    if (kind == ItemKind::ToolCall) ++session_.tool_calls;
    return item;
  }

  ItemRef last_ref() const { return {session_.turns.size() - 1, session_.turns.back().items.size() - 1}; }
  Item& at(const ItemRef& ref) { return session_.turns[ref.first].items[ref.second]; }

  void close_turn() {
    if (session_.provider == Provider::Codex && have_running_) {
      session_.turns.back().tokens = Tokens::difference(running_, turn_base_);
      turn_base_ = running_;
    }
  }

  void start_turn() {
    close_turn();
    Turn& turn = session_.turns.emplace_back();
    turn.number = session_.turns.size() - 1;
    messages_.clear();
    reasoning_.clear();
  }

  // A typed prompt: starts a turn; copies read earlier join it.
  void prompt(const Event& event, std::string_view text) {
    start_turn();
    push(ItemKind::Prompt, event, "", text);
    ++session_.prompts;
    const std::string key(text);
    auto pending = early_copies_.find(key);
    if (pending != early_copies_.end()) {
      for (Place& place : pending->second) at(last_ref()).places.push_back(std::move(place));
      early_copies_.erase(pending);
    }
    prompts_[key] = last_ref();
  }

  // Another record of a typed prompt: a place of that prompt, now or once it is read.
  void prompt_copy(const Event& event, const std::string& text) {
    if (const auto found = prompts_.find(text); found != prompts_.end()) {
      at(found->second).places.push_back(place_of(event));
    } else {
      early_copies_[text].push_back(place_of(event));
    }
  }

  // An item whose text the agent also wrote in an earlier record of the turn.
  bool joined_copy(const Event& event, std::map<std::string, ItemRef>& seen, const std::string& text) {
    const auto found = seen.find(text);
    if (found == seen.end()) return false;
    at(found->second).places.push_back(place_of(event));
    return true;
  }

  void tool_call(const Event& event, std::string_view line, std::optional<std::string> id) {
    push(ItemKind::ToolCall, event, "", line);
    if (id) calls_[*id] = last_ref();
    waiting_.push_back(last_ref());
  }

  // Attaches a result to its call: by id, else (no id known) to the oldest
  // call still waiting. A result without a call stands alone.
  void tool_result(const Event& event, const std::optional<std::string>& id, std::string label,
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
    Item& item = at(*call);
    // An agent that logs one output twice (Codex) gets one result, two places.
    const ShownText body = text_of(text, true);
    for (ItemResult& result : item.results) {
      if (result.body.text == body.text && result.body.full_bytes == body.full_bytes) {
        result.places.push_back(place_of(event));
        return;
      }
    }
    item.results.push_back(ItemResult{std::move(label), body, {place_of(event)}});
  }

  void housekeeping(const Event& event, std::string_view label) {
    push(ItemKind::Housekeeping, event, std::string(label), event.message.value_or(""));
  }

  void attachment(const Event& event, std::string label) {
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

  void claude_tokens(const Event& event) {
    const std::optional<UsageMessage> usage = parse_usage_message(event.message.value_or(""));
    const bool first = !event.source.source_id || usage_ids_.insert(event.source.source_id->str()).second;
    if (usage && first) {
      session_.turns.back().tokens += usage->tokens;
      if (usage->model && *usage->model != "<synthetic>") add_distinct(session_.models, *usage->model);
    }
    housekeeping(event, first ? "usage" : "usage (repeated API message, counted once)");
  }

  void claude(const Event& event) {
    const std::string_view type = record_type(event);
    const std::string_view base = base_record_type(type);
    const bool sidechain = base.size() != type.size();
    if (const auto branch = claude_git_branch(event)) add_distinct(session_.git_branches, *branch);
    // Which block of its record an event is: the record's blocks of one kind
    // stay in order in the timeline.
    const std::string& path = event.source.relative_path.str();
    const std::uint64_t line = event.source.line_number.value_or(0);
    if (path != record_.first || line != record_.second) {
      record_ = {path, line};
      calls_in_record_ = results_in_record_ = 0;
    }
    const std::string text = event.message.value_or("");
    switch (event.event_type) {
      case EventType::PromptInput:
        if (event.source.artifact_kind == ArtifactKind::History) {
          if (!facts_.has_transcript) return prompt(event, text);
          if (facts_.typed_texts.contains(text)) return prompt_copy(event, text);
          push(ItemKind::Context, event, "prompt history", text);
        } else if ((base == "user/ide_context" || (base == "user/text" && claude_ide_context(text))) && !sidechain) {
          push(ItemKind::Context, event, "IDE context", text);
        } else if (base == "user/text" && !sidechain && last_prompt_record_ == record_) {
          // More text blocks of the record that began the turn.
          push(ItemKind::Prompt, event, "", text);
        } else if (base == "user/text" && !sidechain) {
          prompt(event, text);
          last_prompt_record_ = record_;
        } else if (base == "user/text") {
          push(ItemKind::AgentMessage, event, "sub-agent prompt", text);
        } else {
          const bool command = base == "user/command" || base == "user/command_output";
          push(ItemKind::Context, event, command ? "command" : std::string(base), text);
        }
        return;
      case EventType::DeveloperMessage:
        push(ItemKind::Context, event, base == "user/meta" ? "injected" : std::string(base), text);
        return;
      case EventType::AgentMessage:
        push(ItemKind::AgentMessage, event, "", text);
        return;
      case EventType::AgentReasoning:
        push(ItemKind::Reasoning, event, "", event.message && !text.empty() ? text : "(thinking not kept, signature only)");
        return;
      case EventType::ToolCall:
        tool_call(event, text, claude_block_id(event, calls_in_record_++, false));
        return;
      case EventType::ToolResult: {
        if (base == "system/local_command") {
          push(ItemKind::Context, event, "command output", text);
          return;
        }
        std::optional<std::string> id = claude_block_id(event, results_in_record_++, true);
        if (!id && event.raw) id = std::string();  // kept raw without an id: no guessing
        tool_result(event, id, base == "user/tool_error" ? "error" : "result", text);
        return;
      }
      case EventType::TokenUsage:
        claude_tokens(event);
        return;
      case EventType::ImageAttachment:
        attachment(event, "image");
        return;
      case EventType::PasteAttachment:
        attachment(event, "paste");
        return;
      case EventType::FileSnapshot:
        attachment(event, "file snapshot");
        return;
      case EventType::ContextCompacted:
        push(ItemKind::Compaction, event, std::string(base), text);
        return;
      case EventType::Error:
        push(ItemKind::Error, event, std::string(base), text);
        return;
      case EventType::Attachment:
        push(ItemKind::Context, event, std::string(base), text);
        return;
      default:
        housekeeping(event, type.empty() ? wire_name(event.event_type) : type);
        return;
    }
  }

  void codex_tokens(const Event& event) {
    if (event.raw) {
      // Running totals only grow; a record that sorts late (no timestamp)
      // may hold an older one.
      const auto totals = codex_running_totals(*event.raw);
      if (totals && (!have_running_ || totals->sum() >= running_.sum())) {
        running_ = *totals;
        have_running_ = true;
      }
    }
    housekeeping(event, "token count");
  }

  void codex_message(const Event& event, std::string_view role, const std::string& text) {
    if (role == "user") {
      if (facts_.typed_texts.contains(text)) return prompt_copy(event, text);
      if (facts_.has_typed_events || codex_injected_text(text)) {
        push(ItemKind::Context, event, "injected user message", text);
        return;
      }
      return prompt(event, text);
    }
    if (role == "developer" || role == "system") {
      push(ItemKind::Context, event, std::string(role) + " message", text);
      return;
    }
    if (joined_copy(event, messages_, text)) return;
    push(ItemKind::AgentMessage, event, "", text);
    messages_[text] = last_ref();
  }

  void codex(const Event& event) {
    const std::string_view type = record_type(event);
    const std::string_view name = codex_name(type);
    if (const auto branch = codex_git_branch(event)) add_distinct(session_.git_branches, *branch);
    const Json* payload = codex_payload(event);
    const std::string_view role = [&] {
      if (payload == nullptr) return std::string_view();
      const auto found = payload->find("role");
      return found != payload->end() && found->is_string() ? std::string_view(found->get_ref<const std::string&>())
                                                           : std::string_view();
    }();
    switch (event.event_type) {
      case EventType::PromptInput: {
        const std::string text = codex_message_text(event).value_or("");
        if (event.source.artifact_kind == ArtifactKind::History) {
          if (!facts_.has_rollout) return prompt(event, text);
          if (facts_.typed_texts.contains(text)) return prompt_copy(event, text);
          push(ItemKind::Context, event, "prompt history", text);
        } else if (name == "user_message") {
          prompt(event, text);
        } else {
          codex_message(event, "user", text);
        }
        return;
      }
      case EventType::DeveloperMessage:
        codex_message(event, "developer", codex_message_text(event).value_or(""));
        return;
      case EventType::AgentMessage:
        codex_message(event, "assistant", codex_message_text(event).value_or(""));
        return;
      case EventType::AgentReasoning: {
        const std::string text = codex_reasoning_text(event).value_or("");
        // The event message repeats the summary's heading: one item, two
        // places. The copy follows closely: only the latest few are compared.
        const std::size_t recent = reasoning_.size() > 4 ? reasoning_.size() - 4 : 0;
        for (std::size_t r = reasoning_.size(); r-- > recent;) {
          Item& item = at(reasoning_[r]);
          if (!text.empty() && (item.body.text.find(text) != std::string::npos || text.find(item.body.text) != std::string::npos)) {
            item.places.push_back(place_of(event));
            if (text.size() > item.body.text.size() && !options_.redact) item.body = text_of(text, false);
            return;
          }
        }
        push(ItemKind::Reasoning, event, "", text.empty() ? "(reasoning kept encrypted only)" : text);
        if (!text.empty()) reasoning_.push_back(last_ref());
        return;
      }
      case EventType::ToolCall:
        tool_call(event, codex_call_line(event), codex_call_id(event));
        return;
      case EventType::ToolResult: {
        const std::optional<ToolOutput> output = codex_tool_output(event);
        std::string label(name == "function_call_output" || name == "custom_tool_call_output" ? "result" : name);
        if (output && output->failed) label = "error";
        if (output && output->exit_code) label += " \xC2\xB7 exit " + std::to_string(*output->exit_code);
        std::optional<std::string> id = codex_call_id(event);
        if (!id) id = std::string();
        tool_result(event, id, std::move(label), output ? output->text : std::string());
        return;
      }
      case EventType::TokenUsage:
        codex_tokens(event);
        return;
      case EventType::TaskState:
        if (const auto model = name == "turn_context" ? codex_model(event) : std::nullopt) {
          add_distinct(session_.models, *model);
        }
        housekeeping(event, type);
        return;
      case EventType::ContextCompacted:
        push(ItemKind::Compaction, event, std::string(type), event.message.value_or(""));
        return;
      case EventType::Error:
        push(ItemKind::Error, event, std::string(type), event.message.value_or(""));
        return;
      case EventType::Attachment:
        attachment(event, "attachment");
        return;
      case EventType::Unknown:
        // Older rollouts write messages without an envelope.
        if (payload != nullptr && (role == "user" || role == "assistant" || role == "developer")) {
          if (const auto text = codex_message_text(event)) return codex_message(event, role, *text);
        }
        housekeeping(event, type.empty() ? "unknown" : type);
        return;
      default:
        housekeeping(event, type.empty() ? wire_name(event.event_type) : type);
        return;
    }
  }

  Session& session_;
  SessionFacts facts_;
  const ModelOptions& options_;
  std::map<std::string, ItemRef> prompts_;
  std::map<std::string, std::vector<Place>> early_copies_;
  std::map<std::string, ItemRef> messages_;  // this turn's agent messages by text
  std::vector<ItemRef> reasoning_;           // this turn's reasoning items
  std::unordered_map<std::string, ItemRef> calls_;
  std::deque<ItemRef> waiting_;
  std::set<ItemRef> answered_;
  std::unordered_set<std::string> usage_ids_;
  std::pair<std::string, std::uint64_t> record_, last_prompt_record_;
  std::size_t calls_in_record_ = 0, results_in_record_ = 0;
  Tokens running_, turn_base_;
  bool have_running_ = false;
};

// What an editor extension adds to a typed prompt as a text block of its own.
bool claude_ide_context(std::string_view text) {
  return text.starts_with("<ide_selection>") || text.starts_with("<ide_opened_file>");
}

void note_fact(SessionFacts& facts, const Event& event) {
  const std::string_view type = record_type(event);
  if (event.provider == Provider::Codex) {
    if (event.source.artifact_kind == ArtifactKind::Session) facts.has_rollout = true;
    if (type == "event_msg/user_message" && event.message) {
      facts.has_typed_events = true;
      facts.typed_texts.insert(event.message->str());
    }
    return;
  }
  if (event.source.artifact_kind == ArtifactKind::Transcript) {
    facts.has_transcript = true;
    if (type == "user/text" && event.message) facts.typed_texts.insert(event.message->str());
  }
}

}  // namespace

bool hidden_kind(ItemKind kind) { return kind == ItemKind::Context || kind == ItemKind::Housekeeping; }

std::string_view kind_label(ItemKind kind) {
  switch (kind) {
    case ItemKind::Prompt: return "prompt";
    case ItemKind::AgentMessage: return "agent";
    case ItemKind::Reasoning: return "reasoning";
    case ItemKind::ToolCall: return "tool";
    case ItemKind::ToolResult: return "result";
    case ItemKind::Attachment: return "attachment";
    case ItemKind::Compaction: return "compaction";
    case ItemKind::Error: return "error";
    case ItemKind::Context: return "context";
    case ItemKind::Housekeeping: return "record";
  }
  return "record";
}

std::string Place::text() const {
  return line ? path + ":" + std::to_string(*line) : path;
}

ShownText shown_whole(std::string_view text) {
  ShownText shown;
  shown.text = std::string(text);
  shown.full_bytes = text.size();
  shown.full_characters = character_count(text);
  shown.full_lines = line_count(text);
  return shown;
}

ShownText shown_cut(std::string_view text) {
  ShownText shown = shown_whole(text);
  std::size_t characters = 0, lines = 0, end = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) == 0x80) continue;
    if (characters == kResultCharLimit || lines == kResultLineLimit) {
      end = i;
      break;
    }
    ++characters;
    if (c == '\n') ++lines;
  }
  if (end < text.size()) {
    shown.text.resize(end);
    shown.cut = true;
  }
  return shown;
}

std::vector<Session> build_sessions(const Report& report, const ModelOptions& options) {
  std::map<Key, std::size_t> index;
  std::vector<std::vector<std::size_t>> members;
  std::vector<SessionFacts> facts;
  std::vector<Session> sessions;
  for (std::size_t i = 0; i < report.events.size(); ++i) {
    const Event& event = report.events[i];
    if (!event.session_id) continue;
    auto [found, added] = index.try_emplace(Key{event.provider, event.session_id->str()}, sessions.size());
    if (added) {
      Session& session = sessions.emplace_back();
      session.provider = event.provider;
      session.id = event.session_id->str();
      members.emplace_back();
      facts.emplace_back();
    }
    members[found->second].push_back(i);
    note_fact(facts[found->second], event);
  }
  PageNames names;
  for (std::size_t s = 0; s < sessions.size(); ++s) {
    sessions[s].page_stem = names.claim(wire_name(sessions[s].provider), sessions[s].id);
    SessionBuilder builder(sessions[s], std::move(facts[s]), options);
    for (const std::size_t i : members[s]) builder.add(report.events[i]);
    builder.finish();
  }
  return sessions;
}

std::uint64_t sessionless_events(const Report& report) {
  return static_cast<std::uint64_t>(
      std::ranges::count_if(report.events, [](const Event& event) { return !event.session_id; }));
}

}  // namespace vt::report
