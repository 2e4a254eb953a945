// The builder of one session's model (see session_model.hpp): the shared
// steps (turns, prompts, tool calls and their results, copies, sub-agent
// threads) here and in session_builder.cpp, and what each agent's events
// become in session_claude.cpp, session_codex.cpp and session_generic.cpp,
// from their fields and facts alone. Internal to the session reports.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/counting.hpp"
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

// A record's place in a run: input, relative path, line.
using PlaceKey = std::tuple<std::string_view, std::string_view, std::optional<std::uint64_t>>;
PlaceKey place_key(const Event& event);

// What one session's events say before its items are built.
struct SessionFacts {
  bool has_conversation = false;  // something beside the prompt history was read
  // The records the count rule counts as typed prompts: each starts a turn.
  std::set<PlaceKey> typed_places;
  // Their typed texts, so that another record of one (the history's, a
  // Codex conversation item repeating the user-message event) joins it.
  std::unordered_set<std::string> typed_texts;
};

class SessionBuilder {
 public:
  SessionBuilder(Session& session, SessionFacts facts, const ModelOptions& options)
      : session_(session), facts_(std::move(facts)), options_(options) {
    session_.turns.emplace_back();
  }

  // The next event of the session (timeline order) and what the count rule
  // counts it as.
  void add(const Event& event, EventCount counted);

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

  void start_turn();

  // Whether the event belongs to the record that began the current turn.
  bool in_prompt_record(const Event& event) const;

  // A typed block of the record that began the turn: the first is the turn's
  // prompt (its preview, its search text, the copies read before it) and
  // goes before whatever the record gave ahead of it (editor files).
  void prompt_text(const Event& event, std::string_view text);

  // A prompt-input event: a typed block of the turn's record, another place
  // of a typed prompt, a history line, else an item of `kind` and `label`.
  void prompt_input(const Event& event, ItemKind kind, std::string label);

  // Another record of a typed prompt: a place of that prompt, now or once it is read.
  void prompt_copy(const Event& event, const std::string& text);

  // An item whose text the agent also wrote in an earlier record of the turn.
  bool joined_copy(const Event& event, std::map<std::string, ItemRef>& seen, const std::string& text);

  void tool_call(const Event& event, std::string_view line);

  // Attaches a result to its call by the call id of its facts; a result
  // without a call (or without an id: no guess is made) stands alone.
  void tool_result(const Event& event, std::string label, std::string_view text);

  // "result" or "error", the exit code when known.
  static std::string result_label(const Event& event, std::string_view result);

  void housekeeping(const Event& event, std::string_view label);

  // A token-carrying record, said to count elsewhere when the rule counts it there.
  void usage_record(const Event& event, EventCount counted, std::string_view label);

  void attachment(const Event& event, std::string label);

  // Attachments, snapshots, compactions and errors, alike for every agent
  // (`type`: the record type to label them with); false for other events.
  bool shared_kind(const Event& event, std::string_view type);

  void claude(const Event& event, EventCount counted);

  void codex_message(const Event& event, const std::string& text);

  void codex(const Event& event, EventCount counted);

  void generic(const Event& event, EventCount counted);

  Session& session_;
  SessionFacts facts_;
  const ModelOptions& options_;
  std::map<std::string, ItemRef> prompts_;
  std::map<std::string, std::vector<Place>> early_copies_;
  std::map<std::string, ItemRef> messages_;  // this turn's agent messages by text
  std::vector<ItemRef> reasoning_;           // this turn's reasoning items
  std::unordered_map<std::string, ItemRef> calls_;
  std::string custom_title_, ai_title_, search_;
  std::vector<ItemRef> launchers_;  // calls that start a sub-agent
  std::map<std::string, std::pair<std::size_t, ItemRef>> open_threads_;  // by file: thread, its call
  std::size_t threads_ = 0;
  std::unordered_map<std::string, Shown> shown_;  // by event id
  // The record that began the current turn, whether its prompt is shown
  // yet, and the events shown before it in the turn.
  std::optional<PlaceKey> prompt_record_;
  std::set<PlaceKey> begun_;
  bool prompt_shown_ = false;
  std::vector<std::string> before_prompt_;
};

}  // namespace vt::report
