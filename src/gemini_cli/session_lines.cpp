// A chat session written line by line (`session-*.jsonl`): a header line
// (`sessionId`, `projectHash`, `startTime`), message lines, and update
// lines (`{"$set": {…}}`) that either stamp the session's `lastUpdated` (a
// task state) or set its whole `messages` list (each message read as a
// message line would be), and rewind lines (`{"$rewindTo": id}`, a task
// state). A restarted writer repeats the header: each
// header starts a new run of the file.
#include <string>

#include "gemini_cli/file_readers.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::gemini {

namespace {

// "{key}: {value}" for each member of an update, its value when a string.
std::string update_text(JsonView update) {
  std::string text;
  for (const JsonView member : update.members_by_key()) {
    if (!text.empty()) text += ", ";
    text += member.key();
    if (member.is_string()) {
      text += ": ";
      text += member.string();
    }
  }
  return text;
}

class SessionLines {
 public:
  SessionLines(const std::filesystem::path& path, const std::filesystem::path& base_dir, const ParseOptions& options)
      : maker_(ArtifactKind::GeminiSession, SharedString(relative_path_for(path, base_dir)), options), chat_(maker_) {}

  void handle(JsonView object, std::uint64_t line, RecordSink& sink) {
    RecordPlace place;
    place.line = line;
    key_ = "gemini_session:" + std::to_string(line);
    place.key = key_;
    if (const FieldRef update = get_field(object, "$set")) {
      this->update(object, *update, std::move(place), sink);
      return;
    }
    if (get_field(object, "$rewindTo")) {
      // The conversation rewound to a message: what follows replaces what
      // came after it (the earlier messages stay, as written).
      place.session = chat_.session();
      place.raw = &object;
      maker_.set_time(place, nullptr, "timestamp", sink);
      maker_.add(place, EventType::TaskState, "$rewindTo", std::nullopt, sink).message = update_text(object);
      return;
    }
    if (get_field(object, "type") || get_field(object, "id")) {
      chat_.message(object, std::move(place), sink);
      return;
    }
    if (get_string(object, "sessionId")) {
      place.raw = &object;
      chat_.header(object, std::move(place), sink);
      return;
    }
    place.session = chat_.session();
    place.raw = &object;
    maker_.set_time(place, nullptr, "timestamp", sink);
    maker_.add_unknown(place, "unknown", std::nullopt, "Unmapped Gemini CLI session record", sink);
  }

  FileRead finish(FileRecords records) {
    return FileRead{std::move(records), chat_.take_spans(), chat_.project_hash()};
  }

 private:
  void update(JsonView object, JsonView update, RecordPlace place, RecordSink& sink) {
    place.session = chat_.session();
    const FieldRef messages = update.is_object() ? get_field(update, "messages") : FieldRef();
    if (messages && messages->is_array() && messages->children().begin() != messages->children().end()) {
      std::uint64_t index = 0;
      for (const JsonView message : messages->children()) {
        RecordPlace own = place;
        const std::string key = std::string(place.key) + ":message:" + std::to_string(index);
        own.key = key;
        if (message.is_object()) {
          chat_.message(message, std::move(own), sink);
        } else {
          maker_.diagnose(sink, DiagnosticCode::UnknownRecord, Severity::Warning, place.line,
                          "Message " + std::to_string(index) + " of the update is not an object.");
        }
        ++index;
      }
      return;
    }
    const FieldRef stamp = update.is_object() ? get_field(update, "lastUpdated") : FieldRef();
    maker_.set_time(place, stamp ? &*stamp : nullptr, "$set.lastUpdated", sink);
    place.raw = &object;
    if (!update.is_object()) {
      maker_.add_unknown(place, "$set", std::nullopt, "Gemini CLI update whose '$set' is not an object", sink);
      return;
    }
    maker_.add(place, EventType::TaskState, "$set", std::nullopt, sink).message = update_text(update);
  }

  EventMaker maker_;
  ChatMessages chat_;
  std::string key_;  // the source key of the line being read
};

}  // namespace

Result<FileRead> read_session_lines(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                    const ParseOptions& options) {
  SessionLines reader(path, base_dir, options);
  auto records = read_jsonl_records(
      path, base_dir, options, ArtifactKind::GeminiSession,
      [&reader](JsonView object, std::uint64_t line, const SharedString&, RecordSink& sink) {
        reader.handle(object, line, sink);
      });
  if (!records) return fail(std::move(records.error()));
  return reader.finish(std::move(*records));
}

}  // namespace vt::gemini
