// What one Copilot CLI event log holds (`session-state/<id>.jsonl`, or a
// session folder's `events.jsonl`), record by record. Every record is
// `{type, data, id, timestamp, parentId}`; it becomes the nearest event type
// (or `unknown`, named), an assistant message one event per part (its
// reasoning, its text, each tool request, its output tokens). A tool call is
// the request in the assistant message; the execution start that follows is
// a `task_state` linked to it by the call id (a start with no request before
// it is the call), the completion its `tool_result`.
//
// Tokens: each assistant message's `outputTokens` is one `token_usage` event
// (output only). The totals a `session.shutdown` states are the agent's own
// figures for the run of the process since the session started or resumed:
// they become one `token_usage` event per model, with input and cache
// amounts as stated and the output less what that run's messages already
// gave (never below zero), so that the sum over a session counts every token
// once; the message shows the stated totals.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "copilot_cli/copilot_event.hpp"
#include "core/repeated_texts.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::copilot {

class SessionEvents {
 public:
  SessionEvents(SessionDefaults defaults, const ParseOptions& options);

  void handle(JsonView object, std::uint64_t line, const SharedString& relative_path, RecordSink& sink);

 private:
  struct Record;
  Event& add(const Record& record, EventType type, std::optional<std::uint64_t> ordinal, RecordSink& sink);
  void assistant_message(const Record& record, JsonView data, RecordSink& sink);
  void tool_start(const Record& record, JsonView data, RecordSink& sink);
  void tool_complete(const Record& record, JsonView data, RecordSink& sink);
  void shutdown(const Record& record, JsonView data, RecordSink& sink);
  void session_start(const Record& record, JsonView data, RecordSink& sink);
  OptionalShared model_of(JsonView data);

  SessionDefaults defaults_;
  const ParseOptions& options_;
  JsonTape empty_;  // stands for a record's missing `data`
  EventIds ids_;
  RepeatedTexts warnings_, types_, tools_;
  OptionalShared session_, directory_, branch_, model_;
  std::optional<Instant> last_time_;
  // The tools of the calls requested so far, by call id.
  std::unordered_map<std::string, OptionalShared> calls_;
  // Output tokens the messages of this run of the process gave, by model.
  std::map<std::string, std::uint64_t, std::less<>> run_output_;
};

}  // namespace vt::copilot
