// Gemini CLI files of arbitrary bytes through the whole run. The first byte
// chooses what the rest is: a session written line by line (kept in a hash
// folder and a named folder at once, so copies are marked across them), a
// session document, a prompt log or a saved chat. Whatever the bytes, the
// run succeeds, the renderings agree with the report, a second run renders
// the same bytes, and nothing is lost: every non-blank line of a session
// log, and every record of a document, gives an event or a diagnostic.
#include "fuzz_support.hpp"

#include "jsonl/json_parse.hpp"

namespace {

constexpr const char* kFolder = ".gemini/tmp/80f438cecd03b8230f245e6994cfb4f5c7475d038405a50cb1404aa42b46fed4";

struct Document {
  const char* file;
  const char* member;  // the array of records ("" for a top-level array)
};
constexpr Document kDocuments[] = {
    {"/chats/session-2026-04-25T12-47-cdc6c5f9.json", "messages"},
    {"/logs.json", ""},
    {"/checkpoint-test.json", ""},
};

std::vector<vt::Event> of_file(const std::vector<vt::Event>& events, const std::string& relative) {
  std::vector<vt::Event> own;
  for (const vt::Event& e : events) {
    if (e.source.relative_path.str() == relative) own.push_back(e);
  }
  return own;
}

void check_session_lines(const std::uint8_t* data, std::size_t size, vt::ParseOptions options) {
  const std::string hashed = std::string(kFolder) + "/chats/session-1.jsonl";
  fuzz::write_input(hashed, data, size);
  fuzz::write_input(".gemini/tmp/tp-tutor/chats/session-1.jsonl", data, size);
  auto report = fuzz::run_twice(fuzz::scratch() / ".gemini", options);
  FUZZ_CHECK(report.has_value(), report ? "" : report.error().text());
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const std::string relative : {hashed.substr(8), std::string("tmp/tp-tutor/chats/session-1.jsonl")}) {
    std::vector<vt::Diagnostic> own;
    for (const vt::Diagnostic& d : report->diagnostics) {
      if (d.source && d.source->relative_path.str() == relative) own.push_back(d);
    }
    fuzz::check_lines_accounted(text, of_file(report->events, relative), own, options.max_line_size);
  }
  // The second copy of the file counts nowhere.
  for (const vt::Event& e : of_file(report->events, "tmp/tp-tutor/chats/session-1.jsonl")) {
    FUZZ_CHECK(e.copy_of.has_value(), "an event of an identical file is counted");
  }
  fuzz::check_renderings(*report);
}

void check_document(const Document& document, const std::uint8_t* data, std::size_t size,
                    const vt::ParseOptions& options) {
  const bool saved_chat = std::string_view(document.file) == "/checkpoint-test.json";
  if (saved_chat) {
    // A prompt log beside it, whose prompts the saved chat may hold.
    const std::string log =
        R"([{"sessionId":"s1","messageId":0,"type":"user","message":"fix it","timestamp":"2025-06-26T15:00:00Z"},)"
        R"({"sessionId":"s2","messageId":0,"type":"user","message":"hi","timestamp":"2025-06-26T16:00:00Z"}])";
    fuzz::write_input(std::string(kFolder) + "/logs.json", reinterpret_cast<const std::uint8_t*>(log.data()),
                      log.size());
  }
  const auto path = fuzz::write_input(std::string(kFolder) + document.file, data, size);
  auto report = fuzz::run_twice(saved_chat ? path.parent_path() : path, options);
  FUZZ_CHECK(report.has_value(), report ? "" : report.error().text());
  fuzz::check_renderings(*report);
  // The records, as the reference parser reads them.
  const auto value = vt::parse_json_text(std::string_view(reinterpret_cast<const char*>(data), size));
  // A document is bounded like a line: its last line feed does not count.
  const std::size_t bounded = size - (size > 0 && data[size - 1] == '\n' ? 1 : 0);
  if (saved_chat) {
    // Every record of a saved chat belongs to a session: a logged prompt's, or its own.
    for (const vt::Event& e : report->events) {
      if (e.source.artifact_kind == vt::ArtifactKind::GeminiCheckpoint) {
        FUZZ_CHECK(e.session_id.has_value(), "a saved chat's record belongs to no session");
      }
    }
    std::erase_if(report->events,
                  [](const vt::Event& e) { return e.source.artifact_kind != vt::ArtifactKind::GeminiCheckpoint; });
    std::erase_if(report->diagnostics, [](const vt::Diagnostic& d) {
      return !d.source || d.source->artifact_kind != vt::ArtifactKind::GeminiCheckpoint;
    });
  }
  if (!value || (options.max_line_size != 0 && bounded > options.max_line_size)) {
    FUZZ_CHECK(report->events.empty() && !report->diagnostics.empty(), "an unread document is not reported");
    return;
  }
  const vt::Json* records = &*value;
  if (*document.member != '\0') {
    const auto found = value->is_object() ? value->find(document.member) : value->end();
    records = found != value->end() && found->is_array() ? &*found : nullptr;
  } else if (!value->is_array()) {
    records = nullptr;
  }
  if (records == nullptr) {
    FUZZ_CHECK(!report->events.empty() || !report->diagnostics.empty(), "a document gives nothing");
    return;
  }
  std::size_t objects = 0, others = 0;
  std::set<std::string> ids;
  for (const vt::Json& record : *records) {
    if (!record.is_object()) {
      ++others;
      continue;
    }
    ++objects;
    const auto id = record.find("id");
    if (id != record.end() && id->is_string()) ids.insert(id->get<std::string>());
  }
  std::size_t not_objects = 0;
  for (const vt::Diagnostic& d : report->diagnostics) not_objects += d.message.find("is not an object") != std::string::npos;
  FUZZ_CHECK(not_objects == others, "records that are not objects are not each reported");
  std::size_t record_events = 0;
  std::set<std::string> named;
  for (const vt::Event& e : report->events) {
    if (e.event_type != vt::EventType::SessionStart) ++record_events;
    if (e.source.source_id) named.insert(e.source.source_id->str());
  }
  FUZZ_CHECK(record_events >= objects, "a record gave no event");
  if (*document.member != '\0') {
    for (const std::string& id : ids) FUZZ_CHECK(named.count(id), "message " + id + " gave no event");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  vt::ParseOptions options;
  options.reading = vt::Reading::Full;
  options.include_raw = (data[0] & 0x10) != 0;
  options.max_line_size = (data[0] & 0x20) != 0 ? 512 : vt::kDefaultMaxLineSize;
  const unsigned mode = data[0] % 4;
  std::error_code ignored;
  std::filesystem::remove_all(fuzz::scratch() / ".gemini", ignored);
  if (mode == 0) {
    check_session_lines(data + 1, size - 1, options);
  } else {
    check_document(kDocuments[mode - 1], data + 1, size - 1, options);
  }
  return 0;
}
