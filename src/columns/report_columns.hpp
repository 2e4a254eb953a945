// The report of a run as two column tables: the events, under the CSV
// timeline's flat columns with real Arrow types, and the diagnostics. Both
// begin with the caller's `collection` label, so that (collection, event_id)
// stays unique when timelines of many machines are put together.
#pragma once

#include <atomic>
#include <string>

#include "columns/column_data.hpp"
#include "core/parse_error.hpp"
#include "core/records.hpp"

namespace vt::columns {

// The version of the column layout, in the schema's metadata under
// kSchemaVersionKey. It follows the event format's `schema_version`.
inline constexpr const char* kSchemaVersionKey = "vellumtrace.schema_version";

struct ColumnChoice {
  std::string collection;
  bool include_raw = false;      // the `raw` column
  bool include_content = false;  // the `content` column
  bool extras = false;           // the full reading's `origin` and fact columns, last
  unsigned threads = 1;          // threads that build the columns
};

struct ReportTables {
  ColumnTable events;
  ColumnTable diagnostics;
};

// Consumes `report` (its records are emptied as their rows are built).
// Interrupted when `cancel` is set meanwhile.
Result<ReportTables> report_tables(Report& report, const ColumnChoice& choice,
                                   const std::atomic<bool>* cancel = nullptr);

}  // namespace vt::columns
