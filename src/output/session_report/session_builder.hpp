// The builder of one session's model (see session_model.hpp): the shared
// steps (turns, prompts, tool calls and their results, copies, sub-agent
// threads) here and in session_builder.cpp, and what each agent's records
// become in session_claude.cpp and session_codex.cpp. Internal to the
// session reports.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/records.hpp"
#include "output/session_report/report_texts.hpp"
#include "output/session_report/session_model.hpp"

namespace vt::report {

using ItemRef = std::pair<std::size_t, std::size_t>;  // turn index, item index

std::string_view record_type(const Event& event);

// The record type less a sub-agent's "sidechain/" mark.
std::string_view base_record_type(std::string_view type);

void add_distinct(std::vector<std::string>& list, std::string_view value);

void widen(std::optional<Instant>& first, std::optional<Instant>& last, const std::optional<Instant>& time);

std::uint64_t character_count(std::string_view text);

std::uint64_t line_count(std::string_view text);

// Whether a Claude Code tool call starts a sub-agent ("Task: …", "Agent: …").
bool launches_sub_agent(std::string_view call);

Place place_of(const Event& event);

// What one session's events say before its items are built: the texts typed
// as prompts (so that a copy read earlier joins the prompt read later).
struct SessionFacts {
  bool has_transcript = false;    // Claude Code: read from a session transcript
  bool has_rollout = false;       // Codex: read from a rollout log
  bool has_typed_events = false;  // Codex: event messages carry the typed prompts
  bool has_conversation = false;  // other agents: something beside the prompt history was read
  std::unordered_set<std::string> typed_texts;
};

class SessionBuilder {
 public:
  SessionBuilder(Session& session, SessionFacts facts, const ModelOptions& options)
      : session_(session), facts_(std::move(facts)), options_(options) {
    session_.turns.emplace_back();
  }

  void add(const Event& event);

  void finish();

 private:
  ShownText text_of(std::string_view text, bool cut) const;

  // A line taken from an input text (a title, a file's name): the text's
  // length and digest instead when texts are redacted.
  std::string from_text(std::string_view text, std::string line) const;

  Item& push(ItemKind kind, const Event& event, std::string label, std::string_view text);

  // The sub-agent thread an event of a sub-agent belongs to: the thread of
  // its file while the call that started it waits for its result, else a
  // new thread for the oldest call of the turn that starts a sub-agent and
  // has none yet; 0 when there is no such call.
  std::size_t thread_for(const Event& event);

  // The thread of a call that has its result is over.
  void close_thread(const ItemRef& call);

  // Where an event is shown: an item, or one of a call's results.
  struct Shown {
    ItemRef item;
    std::optional<std::size_t> result;
  };

  void shown_as(const Event& event, const ItemRef& item, std::optional<std::size_t> result = std::nullopt);

  void copy(const Event& event);

  ItemRef last_ref() const { return {session_.turns.size() - 1, session_.turns.back().items.size() - 1}; }
  Item& at(const ItemRef& ref) { return session_.turns[ref.first].items[ref.second]; }

  void close_turn();

  void start_turn();

  // A typed prompt: starts a turn; copies read earlier join it. Files its
  // record attached before it (IDE context) move into its turn, after it.
  void prompt(const Event& event, std::string_view text);

  // A prompt of the history, in a session of which nothing else was read:
  // a command ("/clear", "!ls") is no prompt.
  void history_prompt(const Event& event, std::string_view text);

  // Another record of a typed prompt: a place of that prompt, now or once it is read.
  void prompt_copy(const Event& event, const std::string& text);

  // An item whose text the agent also wrote in an earlier record of the turn.
  bool joined_copy(const Event& event, std::map<std::string, ItemRef>& seen, const std::string& text);

  void tool_call(const Event& event, std::string_view line, std::optional<std::string> id);

  // Attaches a result to its call: by id, else (no id known) to the oldest
  // call still waiting. A result without a call stands alone.
  void tool_result(const Event& event, const std::optional<std::string>& id, std::string label,
                   std::string_view text);

  void housekeeping(const Event& event, std::string_view label);

  void attachment(const Event& event, std::string label);

  // Attachments, snapshots, compactions and errors, alike for every agent
  // (`type`: the record type to label them with); false for other events.
  bool shared_kind(const Event& event, std::string_view type);

  void claude_tokens(const Event& event);

  void claude(const Event& event);

  void codex_tokens(const Event& event);

  void codex_message(const Event& event, std::string_view role, const std::string& text);

  void codex(const Event& event);

  void generic(const Event& event);

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
  std::pair<std::string, std::uint64_t> record_, last_prompt_record_, attached_record_;
  std::string custom_title_, ai_title_, search_;
  std::vector<ItemRef> launchers_;  // calls that start a sub-agent
  std::map<std::string, std::pair<std::size_t, ItemRef>> open_threads_;  // by file: thread, its call
  std::size_t threads_ = 0;
  std::unordered_map<std::string, Shown> shown_;  // by event id
  std::size_t calls_in_record_ = 0, results_in_record_ = 0;
  Tokens running_, turn_base_;
  bool have_running_ = false;
};

}  // namespace vt::report
