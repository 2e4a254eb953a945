// Hand-built records and small sinks shared by the writer tests.
#pragma once

#include <string>
#include <system_error>

#include "core/instant.hpp"
#include "core/records.hpp"
#include "output/sink.hpp"
#include "output/writers.hpp"

namespace vt::testing {

inline Instant at(std::int64_t year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                  unsigned second, std::uint32_t nanos = 0) {
  return *Instant::from_civil(CivilTime{year, month, day, hour, minute, second, nanos});
}

// Every member set, with text that needs escaping and a raw value whose
// input order differs from key order.
inline Event full_event() {
  Event e;
  e.event_id = "e1";
  e.sequence = 0;
  e.provider = Provider::Codex;
  e.source_file_sha256 = "ff";
  e.timestamp = at(2024, 5, 1, 9, 8, 7, 120'000'000);
  e.timestamp_source = TimestampSource::Embedded;
  e.timestamp_raw = Json("2024-05-01T09:08:07.12Z");
  e.event_type = EventType::AgentMessage;
  e.session_id = "s";
  e.working_directory = "/w";
  e.message = "tab\t\"q\" /\xC3\xA9\x01";
  e.source = SourceRef{ArtifactKind::Session, "response_item", "sessions/r.jsonl", 3, "id1"};
  e.artifact = Artifact{ReferenceStatus::Resolved, "/p", 2, 10, "00", "text/plain", "hi",
                        ContentEncoding::Utf8};
  e.fs_times = FsTimes{at(2024, 5, 1, 9, 8, 7), std::nullopt, std::nullopt};
  e.warnings = {"w1", "w2"};
  e.raw = Json::parse(R"({"b":1,"a":{"d":[],"c":2.50}})");
  return e;
}

// Nothing optional set.
inline Event bare_event() {
  Event e;
  e.event_id = "e2";
  e.sequence = 1;
  e.provider = Provider::ClaudeCode;
  e.timestamp_source = TimestampSource::None;
  e.event_type = EventType::Unknown;
  e.source = SourceRef{ArtifactKind::History, std::nullopt, "history.jsonl", std::nullopt,
                       std::nullopt};
  return e;
}

inline Report sample_report() {
  Report r;
  r.events = {full_event(), bare_event()};
  r.diagnostics = {
      Diagnostic{DiagnosticCode::InvalidJson, Severity::Error,
                 SourceRef{ArtifactKind::History, std::nullopt, "h", 1, std::nullopt}, "bad"},
      Diagnostic{DiagnosticCode::HashMismatch, Severity::Info, std::nullopt, "m"}};
  return r;
}

inline std::string json_of(const Report& report, bool pretty) {
  MemorySink sink;
  auto done = write_json_report(report, pretty, sink);
  if (!done) return "<error: " + done.error().text() + ">";
  return sink.buffer();
}

inline std::string jsonl_of(const Report& report) {
  MemorySink sink;
  auto done = write_jsonl_timeline(report, sink);
  if (!done) return "<error: " + done.error().text() + ">";
  return sink.buffer();
}

inline std::string csv_of(const Report& report, CsvOptions options = {}) {
  MemorySink sink;
  auto done = write_csv_timeline(report, options, sink);
  if (!done) return "<error: " + done.error().text() + ">";
  return sink.buffer();
}

// Takes at most `limit` bytes in all, then refuses with ENOSPC; when
// `recover` is set it takes everything again after its first refusal.
class LimitedSink final : public ByteSink {
 public:
  explicit LimitedSink(std::size_t limit, bool recover = false)
      : limit_(limit), recover_(recover) {}
  std::expected<void, std::error_code> write(const char* data, std::size_t size) override {
    std::size_t accepted = 0;
    return write_counted(data, size, accepted);
  }
  std::expected<void, std::error_code> write_counted(const char* data, std::size_t size,
                                                     std::size_t& accepted) override {
    ++writes;
    if (size > largest) largest = size;
    if (refused_ && recover_) {
      bytes.append(data, size);
      accepted = size;
      return {};
    }
    const std::size_t room = limit_ > bytes.size() ? limit_ - bytes.size() : 0;
    accepted = size < room ? size : room;
    bytes.append(data, accepted);
    if (accepted < size) {
      refused_ = true;
      return std::unexpected(std::make_error_code(std::errc::no_space_on_device));
    }
    return {};
  }
  std::expected<void, std::error_code> flush() override { return {}; }

  std::string bytes;
  int writes = 0;
  std::size_t largest = 0;

 private:
  std::size_t limit_;
  bool recover_;
  bool refused_ = false;
};

}  // namespace vt::testing
