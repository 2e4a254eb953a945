// What a Gemini CLI chat session holds, record by record, as events: the
// session's header, and each message one event per block:
//   user     a prompt per text (origin by `user_text_origin`), a tool result
//            per function response, an attachment per inline or file part
//   gemini   a reasoning event per thought, an agent message per text, a
//            tool call and its tool result per tool call (one call id links
//            them), a token usage event for its `tokens`
//   info, warning  a task state; error: an error; any other type: unknown (warned)
// with the facts of each (model, record id, tool name, call id, main
// argument, failure, token amounts). Both layouts (one document, or lines)
// read their messages through this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gemini_cli/event_maker.hpp"

namespace vt::gemini {

// Where one message's events lie among its file's events, and what makes it
// the same message as another: its id within one run of its file (a file
// written by a restarted editor repeats its header and reuses ids), or its
// session, id and time across files.
struct MessageSpan {
  std::size_t first = 0;
  std::size_t count = 0;
  std::uint64_t segment = 0;  // the headers met before it in its file
  std::string id;             // "" without one
  std::string time;           // its `timestamp` as written
  std::string session;
  bool header = false;        // the session's start, not a message
};

class ChatMessages {
 public:
  explicit ChatMessages(EventMaker& maker) : maker_(maker) {}

  // The session's header (a document's top-level object, or a header line):
  // a `session_start` event; it starts a new run of the file. The caller
  // says in `place.raw` what stands for the header's raw record.
  void header(JsonView object, RecordPlace place, RecordSink& sink);
  // One message object.
  void message(JsonView message, RecordPlace place, RecordSink& sink);

  std::vector<MessageSpan> take_spans() { return std::move(spans_); }
  // The `projectHash` the first header gives, if any.
  const std::string& project_hash() const { return project_hash_; }
  const OptionalShared& session() const { return session_; }

 private:
  void user_blocks(JsonView message, const RecordPlace& place, RecordSink& sink);
  void gemini_blocks(JsonView message, const RecordPlace& place, RecordSink& sink);
  void tool_call(JsonView call, const RecordPlace& place, std::uint64_t& ordinal, RecordSink& sink);
  void token_usage(JsonView tokens, const OptionalShared& model, const RecordPlace& place, std::uint64_t ordinal,
                   RecordSink& sink);
  // A place whose time is the value of `field` in `object` when it reads,
  // else the message's own.
  RecordPlace own_time(const RecordPlace& place, JsonView object, std::string_view field, RecordSink& sink);

  EventMaker& maker_;
  OptionalShared session_;
  OptionalShared model_;
  std::string project_hash_;
  std::uint64_t segment_ = 0;
  std::vector<MessageSpan> spans_;
};

}  // namespace vt::gemini
