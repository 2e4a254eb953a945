#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "output/csv_row.hpp"
#include "writer_fixtures.hpp"

namespace vt {
namespace {

using testing::at;
using testing::bare_event;
using testing::csv_of;
using testing::full_event;

const std::string kHeader =
    "schema_version,event_id,sequence,provider,source_file_sha256,timestamp,timestamp_raw,"
    "timestamp_source,event_type,session_id,working_directory,message,artifact_kind,"
    "source_record_type,source_relative_path,source_line,source_id,reference_status,"
    "resolved_path,snapshot_version,size,sha256,media_type,content,content_encoding,"
    "fs_modified,fs_accessed,fs_created,warnings,raw\n";

Report one(Event e) {
  Report r;
  r.events.push_back(std::move(e));
  return r;
}

TEST(CsvTimeline, NoEventsGivesTheHeaderAlone) {
  EXPECT_EQ(csv_of(Report{}), kHeader);
  Report report;
  report.diagnostics.push_back(Diagnostic{DiagnosticCode::InvalidJson, Severity::Error,
                                          std::nullopt, "x"});
  EXPECT_EQ(csv_of(report, CsvOptions{false, true}), kHeader);
}

TEST(CsvTimeline, FullAndBareRowsAreExact) {
  Event full = full_event();
  full.message = "plain message";
  Report report = one(full);
  report.events.push_back(bare_event());
  EXPECT_EQ(csv_of(report, CsvOptions{true, true}),
            kHeader +
                "1,e1,0,codex,ff,2024-05-01T09:08:07.120+00:00,\"\"\"2024-05-01T09:08:07.12Z\"\"\","
                "embedded,agent_message,s,/w,plain message,session,response_item,sessions/r.jsonl,"
                "3,id1,resolved,/p,2,10,00,text/plain,hi,utf8,2024-05-01T09:08:07+00:00,,,"
                "\"[\"\"w1\"\",\"\"w2\"\"]\",\"{\"\"a\"\":{\"\"c\"\":2.5,\"\"d\"\":[]},\"\"b\"\":1}\"\n"
                "1,e2,1,claude_code,,,,none,unknown,,,,history,,history.jsonl,,,,,,,,,,,,,,,\n");
}

TEST(CsvTimeline, MessageAndContentFollowTheirFlags) {
  const Report report = one(full_event());
  for (const bool message : {false, true}) {
    for (const bool content : {false, true}) {
      const CsvRow row = csv_row(report.events[0], CsvOptions{message, content});
      EXPECT_EQ(row[11], message ? *report.events[0].message : "");
      EXPECT_EQ(row[23], content ? "hi" : "");
      EXPECT_EQ(row[24], "utf8");  // the encoding stays whatever the flag
      const std::string text = csv_of(report, CsvOptions{message, content});
      EXPECT_EQ(text.substr(0, kHeader.size()), kHeader);
    }
  }
}

TEST(CsvTimeline, AbsentArtifactAndTimesLeaveTheirColumnsEmpty) {
  Event e = full_event();
  e.artifact.reset();
  e.fs_times.reset();
  const CsvRow row = csv_row(e, CsvOptions{true, true});
  for (std::size_t i = 17; i <= 27; ++i) EXPECT_EQ(row[i], "") << kCsvColumns[i];
  e.fs_times = FsTimes{std::nullopt, at(2020, 1, 2, 3, 4, 5, 6000), at(-5, 1, 1, 0, 0, 0)};
  const CsvRow with_times = csv_row(e, CsvOptions{});
  EXPECT_EQ(with_times[25], "");
  EXPECT_EQ(with_times[26], "2020-01-02T03:04:05.000006+00:00");
  EXPECT_EQ(with_times[27], "-0005-01-01T00:00:00+00:00");
}

TEST(CsvTimeline, HeldValuesBecomeValueText) {
  Event e = bare_event();
  e.timestamp_raw = Json(1714554487);
  e.raw = Json(nullptr);
  CsvRow row = csv_row(e, CsvOptions{});
  EXPECT_EQ(row[6], "1714554487");
  EXPECT_EQ(row[29], "null");  // a held null differs from an absent value
  e.timestamp = at(2016, 12, 31, 23, 59, 60, 1500);
  e.raw = Json::parse(R"({"b":1,"a":2})");
  row = csv_row(e, CsvOptions{});
  EXPECT_EQ(row[5], "2016-12-31T23:59:60.000001500+00:00");
  EXPECT_EQ(row[29], R"({"a":2,"b":1})");
  const std::string text = csv_of(one(e));
  EXPECT_TRUE(text.ends_with(",\"{\"\"a\"\":2,\"\"b\"\":1}\"\n")) << text;
}

class CsvQuoting : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(CsvQuoting, MessageCell) {
  const auto& [message, cell] = GetParam();
  Event e = bare_event();
  e.message = message;
  e.source.artifact_kind = ArtifactKind::Attachment;
  const std::string text = csv_of(one(e));
  EXPECT_NE(text.find(",," + cell + ",attachment,"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CsvQuoting,
    ::testing::Values(std::tuple{"a,b", "\"a,b\""}, std::tuple{"say \"hi\"", "\"say \"\"hi\"\"\""},
                      std::tuple{"line\nbreak", "\"line\nbreak\""},
                      std::tuple{"cr\rhere", "\"cr\rhere\""}, std::tuple{"\"", "\"\"\"\""},
                      std::tuple{"back\\slash", "back\\slash"},
                      std::tuple{"  padded  ", "  padded  "}, std::tuple{"tab\there", "tab\there"},
                      std::tuple{"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"}));

TEST(CsvTimeline, WarningsCellIsAQuotedCompactArray) {
  Event e = bare_event();
  e.warnings = {"one", "a \"b\"\n\\"};
  EXPECT_EQ(csv_row(e, CsvOptions{})[28], R"(["one","a \"b\"\n\\"])");
  const std::string text = csv_of(one(e));
  EXPECT_NE(text.find(R"(,"[""one"",""a \""b\""\n\\""]",)"), std::string::npos) << text;
}

}  // namespace
}  // namespace vt
