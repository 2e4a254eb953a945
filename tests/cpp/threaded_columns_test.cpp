// The columns of a report built on several threads against the same columns
// built on one: every batch, buffer and dictionary byte for byte (also the
// workload of the ThreadSanitizer build, hence the suite's name).
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "columns/column_set.hpp"
#include "columns/report_columns.hpp"
#include "core/instant.hpp"

namespace {

using vt::columns::ArrayData;
using vt::columns::Buffer;

// More rows than a batch holds, so that a table has several batches; nulls,
// repeated and distinct texts, held values and warnings in every column kind.
vt::Report events(std::size_t count) {
  vt::Report report;
  const vt::SharedString paths[] = {vt::SharedString("sessions/a.jsonl"), vt::SharedString("sessions/b.jsonl")};
  for (std::size_t i = 0; i < count; ++i) {
    vt::Event e;
    e.event_id = std::to_string(i * 7919);
    e.sequence = i;
    e.provider = i % 3 == 0 ? vt::Provider::Codex : vt::Provider::ClaudeCode;
    e.event_type = i % 5 == 0 ? vt::EventType::ToolCall : vt::EventType::AgentMessage;
    if (i % 4 != 0) e.timestamp = vt::Instant::from_unix(1'700'000'000 + static_cast<std::int64_t>(i), 1000);
    if (i % 6 != 0) e.timestamp_raw = vt::Json("2025-01-01T00:00:" + std::to_string(i % 60) + "Z");
    e.session_id = "session-" + std::to_string(i % 97);
    if (i % 9 != 0) e.message = std::string(i % 300, 'm') + (i % 13 == 0 ? "\xFF" : "\xC3\xA9");
    e.source.relative_path = paths[i % 2];
    e.source.line_number = i % 10 == 0 ? std::optional<std::uint64_t>() : i;
    if (i % 50 == 0) e.warnings.push_back("warning " + std::to_string(i % 3));
    report.events.push_back(std::move(e));
  }
  report.diagnostics.push_back(vt::Diagnostic{vt::DiagnosticCode::InvalidJson, vt::Severity::Error, std::nullopt, "bad"});
  return report;
}

void expect_same(const ArrayData& a, const ArrayData& b, const std::string& where) {
  ASSERT_EQ(a.length, b.length) << where;
  ASSERT_EQ(a.null_count, b.null_count) << where;
  ASSERT_EQ(a.buffers.size(), b.buffers.size()) << where;
  for (std::size_t i = 0; i < a.buffers.size(); ++i) {
    EXPECT_TRUE(a.buffers[i] == b.buffers[i]) << where << " buffer " << i;
  }
  ASSERT_EQ(a.children.size(), b.children.size()) << where;
  for (std::size_t i = 0; i < a.children.size(); ++i) expect_same(a.children[i], b.children[i], where + "/" + std::to_string(i));
  ASSERT_EQ(a.dictionary != nullptr, b.dictionary != nullptr) << where;
  if (a.dictionary) expect_same(*a.dictionary, *b.dictionary, where + " dictionary");
}

TEST(ThreadedRun, ColumnsAsOnOneThread) {
  const std::size_t count = vt::columns::kBatchRows + 5000;
  vt::columns::ColumnChoice choice{"c", true, true, true, 1};
  vt::Report serial_report = events(count);
  const auto serial = vt::columns::report_tables(serial_report, choice);
  ASSERT_TRUE(serial.has_value());
  ASSERT_EQ(serial->events.batches.size(), 2u);
  for (const unsigned threads : {2u, 3u}) {
    choice.threads = threads;
    vt::Report report = events(count);
    const auto tables = vt::columns::report_tables(report, choice);
    ASSERT_TRUE(tables.has_value());
    ASSERT_EQ(tables->events.batches.size(), serial->events.batches.size());
    for (std::size_t b = 0; b < tables->events.batches.size(); ++b) {
      expect_same(tables->events.batches[b], serial->events.batches[b], "batch " + std::to_string(b));
    }
    expect_same(tables->diagnostics.batches.at(0), serial->diagnostics.batches.at(0), "diagnostics");
    // The records were consumed.
    EXPECT_TRUE(report.events.empty());
  }
}

}  // namespace
