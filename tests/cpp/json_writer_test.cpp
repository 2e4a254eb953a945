#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "writer_fixtures.hpp"

namespace vt {
namespace {

using testing::at;
using testing::bare_event;
using testing::full_event;
using testing::json_of;
using testing::sample_report;

const std::string kFullCompact =
    R"({"schema_version":"1","event_id":"e1","sequence":0,"provider":"codex",)"
    R"("source_file_sha256":"ff","timestamp":"2024-05-01T09:08:07.120Z",)"
    R"("timestamp_source":"embedded","timestamp_raw":"2024-05-01T09:08:07.12Z",)"
    R"("event_type":"agent_message","session_id":"s","working_directory":"/w",)"
    "\"message\":\"tab\\t\\\"q\\\" /\xC3\xA9\\u0001\","
    R"("source":{"artifact_kind":"session","record_type":"response_item",)"
    R"("relative_path":"sessions/r.jsonl","line_number":3,"source_id":"id1"},)"
    R"("artifact":{"reference_status":"resolved","resolved_path":"/p","snapshot_version":2,)"
    R"("size":10,"sha256":"00","media_type":"text/plain","content":"hi","content_encoding":"utf8"},)"
    R"("fs_times":{"modified":"2024-05-01T09:08:07Z","accessed":null,"created":null},)"
    R"("warnings":["w1","w2"],"raw":{"a":{"c":2.5,"d":[]},"b":1}})";

const std::string kBareCompact =
    R"({"schema_version":"1","event_id":"e2","sequence":1,"provider":"claude_code",)"
    R"("source_file_sha256":null,"timestamp":null,"timestamp_source":"none","timestamp_raw":null,)"
    R"("event_type":"unknown","session_id":null,"working_directory":null,"message":null,)"
    R"("source":{"artifact_kind":"history","record_type":null,"relative_path":"history.jsonl",)"
    R"("line_number":null,"source_id":null},"artifact":null,"fs_times":null,"warnings":[],"raw":null})";

const std::string kDiagnosticsCompact =
    R"([{"code":"invalid_json","severity":"error","source":{"artifact_kind":"history",)"
    R"("record_type":null,"relative_path":"h","line_number":1,"source_id":null},"message":"bad"},)"
    R"({"code":"hash_mismatch","severity":"info","source":null,"message":"m"}])";

TEST(JsonReport, EmptyReportCompactAndPretty) {
  EXPECT_EQ(json_of(Report{}, false), R"({"events":[],"diagnostics":[]})");
  EXPECT_EQ(json_of(Report{}, true), "{\n  \"events\": [],\n  \"diagnostics\": []\n}");
}

TEST(JsonReport, CompactDocumentIsExact) {
  EXPECT_EQ(json_of(sample_report(), false),
            "{\"events\":[" + kFullCompact + "," + kBareCompact +
                "],\"diagnostics\":" + kDiagnosticsCompact + "}");
}

TEST(JsonReport, PrettyDocumentIsExact) {
  Report report = sample_report();
  report.events[0].raw = Json::parse(R"({"c":{},"a":[1,{"b":null}],"d":[]})");
  const std::string expected = R"({
  "events": [
    {
      "schema_version": "1",
      "event_id": "e1",
      "sequence": 0,
      "provider": "codex",
      "source_file_sha256": "ff",
      "timestamp": "2024-05-01T09:08:07.120Z",
      "timestamp_source": "embedded",
      "timestamp_raw": "2024-05-01T09:08:07.12Z",
      "event_type": "agent_message",
      "session_id": "s",
      "working_directory": "/w",
      "message": "tab\t\"q\" /)" "\xC3\xA9" R"(\u0001",
      "source": {
        "artifact_kind": "session",
        "record_type": "response_item",
        "relative_path": "sessions/r.jsonl",
        "line_number": 3,
        "source_id": "id1"
      },
      "artifact": {
        "reference_status": "resolved",
        "resolved_path": "/p",
        "snapshot_version": 2,
        "size": 10,
        "sha256": "00",
        "media_type": "text/plain",
        "content": "hi",
        "content_encoding": "utf8"
      },
      "fs_times": {
        "modified": "2024-05-01T09:08:07Z",
        "accessed": null,
        "created": null
      },
      "warnings": [
        "w1",
        "w2"
      ],
      "raw": {
        "a": [
          1,
          {
            "b": null
          }
        ],
        "c": {},
        "d": []
      }
    },
    {
      "schema_version": "1",
      "event_id": "e2",
      "sequence": 1,
      "provider": "claude_code",
      "source_file_sha256": null,
      "timestamp": null,
      "timestamp_source": "none",
      "timestamp_raw": null,
      "event_type": "unknown",
      "session_id": null,
      "working_directory": null,
      "message": null,
      "source": {
        "artifact_kind": "history",
        "record_type": null,
        "relative_path": "history.jsonl",
        "line_number": null,
        "source_id": null
      },
      "artifact": null,
      "fs_times": null,
      "warnings": [],
      "raw": null
    }
  ],
  "diagnostics": [
    {
      "code": "invalid_json",
      "severity": "error",
      "source": {
        "artifact_kind": "history",
        "record_type": null,
        "relative_path": "h",
        "line_number": 1,
        "source_id": null
      },
      "message": "bad"
    },
    {
      "code": "hash_mismatch",
      "severity": "info",
      "source": null,
      "message": "m"
    }
  ]
})";
  EXPECT_EQ(json_of(report, true), expected);
}

TEST(JsonReport, PresentButEmptyArtifactAndTimesRenderAllNulls) {
  Report report;
  report.events = {bare_event()};
  report.events[0].artifact = Artifact{};
  report.events[0].fs_times = FsTimes{};
  const std::string doc = json_of(report, false);
  EXPECT_NE(doc.find(R"("artifact":{"reference_status":null,"resolved_path":null,)"
                     R"("snapshot_version":null,"size":null,"sha256":null,"media_type":null,)"
                     R"("content":null,"content_encoding":null})"),
            std::string::npos)
      << doc;
  EXPECT_NE(doc.find(R"("fs_times":{"modified":null,"accessed":null,"created":null})"),
            std::string::npos)
      << doc;
}

// Timestamps: fraction width, leap second, signed years, in events and file times.
class JsonTimestamp : public ::testing::TestWithParam<std::tuple<Instant, std::string>> {};

TEST_P(JsonTimestamp, RendersInEventAndFileTimes) {
  const auto& [instant, text] = GetParam();
  Report report;
  report.events = {bare_event()};
  report.events[0].timestamp = instant;
  report.events[0].fs_times = FsTimes{std::nullopt, std::nullopt, instant};
  const std::string doc = json_of(report, false);
  EXPECT_NE(doc.find("\"timestamp\":\"" + text + "\""), std::string::npos) << doc;
  EXPECT_NE(doc.find("\"created\":\"" + text + "\"}"), std::string::npos) << doc;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, JsonTimestamp,
    ::testing::Values(
        std::tuple{at(2024, 5, 1, 9, 8, 7), "2024-05-01T09:08:07Z"},
        std::tuple{at(2024, 5, 1, 9, 8, 7, 120'000'000), "2024-05-01T09:08:07.120Z"},
        std::tuple{at(2024, 5, 1, 9, 8, 7, 2000), "2024-05-01T09:08:07.000002Z"},
        std::tuple{at(2024, 5, 1, 9, 8, 7, 1500), "2024-05-01T09:08:07.000001500Z"},
        std::tuple{at(2024, 5, 1, 9, 8, 7, 1), "2024-05-01T09:08:07.000000001Z"},
        std::tuple{at(2016, 12, 31, 23, 59, 60), "2016-12-31T23:59:60Z"},
        std::tuple{at(2016, 12, 31, 23, 59, 60, 500'000'000), "2016-12-31T23:59:60.500Z"},
        std::tuple{at(10000, 1, 1, 0, 0, 0), "+10000-01-01T00:00:00Z"},
        std::tuple{at(-1, 1, 1, 0, 0, 0), "-0001-01-01T00:00:00Z"},
        std::tuple{at(0, 2, 29, 0, 0, 0), "0000-02-29T00:00:00Z"},
        std::tuple{at(9999, 12, 31, 23, 59, 59, 999'999'999), "9999-12-31T23:59:59.999999999Z"}));

// Every enumeration value is written as its wire string.
template <class Enum>
struct WireCase {
  Enum value;
  const char* wire;
};

TEST(JsonReport, EveryEventEnumerationUsesItsWireName) {
  const WireCase<Provider> providers[] = {{Provider::ClaudeCode, "claude_code"},
                                          {Provider::Codex, "codex"},
                                          {Provider::OpenCode, "open_code"},
                                          {Provider::Unknown, "unknown"}};
  const WireCase<TimestampSource> sources[] = {
      {TimestampSource::Embedded, "embedded"},
      {TimestampSource::ReferencedEvent, "referenced_event"},
      {TimestampSource::FilesystemModified, "filesystem_modified"},
      {TimestampSource::None, "none"}};
  const WireCase<EventType> types[] = {
      {EventType::PromptInput, "prompt_input"}, {EventType::PasteAttachment, "paste_attachment"},
      {EventType::ImageAttachment, "image_attachment"}, {EventType::OrphanCache, "orphan_cache"},
      {EventType::FileSnapshot, "file_snapshot"}, {EventType::SessionStart, "session_start"},
      {EventType::DeveloperMessage, "developer_message"},
      {EventType::AgentMessage, "agent_message"}, {EventType::AgentReasoning, "agent_reasoning"},
      {EventType::ToolCall, "tool_call"}, {EventType::ToolResult, "tool_result"},
      {EventType::TaskState, "task_state"}, {EventType::TokenUsage, "token_usage"},
      {EventType::ContextCompacted, "context_compacted"}, {EventType::Attachment, "attachment"},
      {EventType::Error, "error"}, {EventType::Unknown, "unknown"}};
  const WireCase<ArtifactKind> kinds[] = {
      {ArtifactKind::History, "history"}, {ArtifactKind::PasteCache, "paste_cache"},
      {ArtifactKind::ImageCache, "image_cache"}, {ArtifactKind::FileHistory, "file_history"},
      {ArtifactKind::Session, "session"}, {ArtifactKind::Attachment, "attachment"},
      {ArtifactKind::Unknown, "unknown"}};
  const WireCase<ReferenceStatus> statuses[] = {{ReferenceStatus::Resolved, "resolved"},
                                                {ReferenceStatus::Missing, "missing"},
                                                {ReferenceStatus::Ambiguous, "ambiguous"}};
  const WireCase<ContentEncoding> encodings[] = {{ContentEncoding::Utf8, "utf8"},
                                                 {ContentEncoding::Base64, "base64"}};

  const auto render = [](const Event& e) {
    Report r;
    r.events = {e};
    return json_of(r, false);
  };
  const auto expect_member = [](const std::string& doc, const std::string& key, const char* wire) {
    EXPECT_NE(doc.find("\"" + key + "\":\"" + wire + "\""), std::string::npos) << doc;
  };
  for (const auto& c : providers) {
    Event e = bare_event();
    e.provider = c.value;
    expect_member(render(e), "provider", c.wire);
  }
  for (const auto& c : sources) {
    Event e = bare_event();
    e.timestamp_source = c.value;
    expect_member(render(e), "timestamp_source", c.wire);
  }
  for (const auto& c : types) {
    Event e = bare_event();
    e.event_type = c.value;
    expect_member(render(e), "event_type", c.wire);
  }
  for (const auto& c : kinds) {
    Event e = bare_event();
    e.source.artifact_kind = c.value;
    expect_member(render(e), "artifact_kind", c.wire);
  }
  for (const auto& c : statuses) {
    Event e = bare_event();
    e.artifact = Artifact{};
    e.artifact->reference_status = c.value;
    expect_member(render(e), "reference_status", c.wire);
  }
  for (const auto& c : encodings) {
    Event e = bare_event();
    e.artifact = Artifact{};
    e.artifact->content_encoding = c.value;
    expect_member(render(e), "content_encoding", c.wire);
  }
}

TEST(JsonReport, EveryDiagnosticEnumerationUsesItsWireName) {
  const WireCase<DiagnosticCode> codes[] = {
      {DiagnosticCode::InvalidJson, "invalid_json"},
      {DiagnosticCode::InvalidFieldType, "invalid_field_type"},
      {DiagnosticCode::InvalidTimestamp, "invalid_timestamp"},
      {DiagnosticCode::UnknownRecord, "unknown_record"},
      {DiagnosticCode::MissingReference, "missing_reference"},
      {DiagnosticCode::AmbiguousReference, "ambiguous_reference"},
      {DiagnosticCode::UnreadableArtifact, "unreadable_artifact"},
      {DiagnosticCode::UnexpectedFileName, "unexpected_file_name"},
      {DiagnosticCode::SnapshotVersionGap, "snapshot_version_gap"},
      {DiagnosticCode::DuplicateSnapshotVersion, "duplicate_snapshot_version"},
      {DiagnosticCode::HashMismatch, "hash_mismatch"},
      {DiagnosticCode::UnterminatedLine, "unterminated_line"},
      {DiagnosticCode::UnreadableInput, "unreadable_input"},
      {DiagnosticCode::NothingToRead, "nothing_to_read"}};
  const WireCase<Severity> severities[] = {
      {Severity::Error, "error"}, {Severity::Warning, "warning"}, {Severity::Info, "info"}};
  for (const auto& code : codes) {
    for (const auto& severity : severities) {
      Report r;
      r.diagnostics = {Diagnostic{code.value, severity.value, std::nullopt, "x"}};
      EXPECT_EQ(json_of(r, false), std::string(R"({"events":[],"diagnostics":[{"code":")") +
                                       code.wire + R"(","severity":")" + severity.wire +
                                       R"(","source":null,"message":"x"}]})");
    }
  }
}

// Removes the whitespace that lies outside JSON strings.
std::string strip_layout(const std::string& doc) {
  std::string out;
  bool in_string = false;
  for (std::size_t i = 0; i < doc.size(); ++i) {
    const char c = doc[i];
    if (in_string) {
      out.push_back(c);
      if (c == '\\') {
        out.push_back(doc[++i]);
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
      out.push_back(c);
    } else if (c != ' ' && c != '\n') {
      out.push_back(c);
    }
  }
  return out;
}

TEST(JsonReport, CompactAndPrettyDifferOnlyInLayout) {
  Report report = sample_report();
  report.events[1].message = "a: b, \"c\"\n  [d]";
  report.events[1].raw = Json::parse(R"({"z":[[],{}],"y":{"x":[1,2.5,"  "]}})");
  const std::string pretty = json_of(report, true);
  EXPECT_EQ(strip_layout(pretty), json_of(report, false));
  EXPECT_NE(pretty, json_of(report, false));
}

}  // namespace
}  // namespace vt
