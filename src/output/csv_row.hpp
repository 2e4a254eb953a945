// The 30 columns of the CSV timeline and the cells of one event under them:
// plain text, empty for anything absent, timestamps with the +00:00 offset,
// held JSON values as compact value text.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.hpp"
#include "output/writers.hpp"

namespace vt {

inline constexpr std::size_t kCsvColumnCount = 30;

inline constexpr std::array<std::string_view, kCsvColumnCount> kCsvColumns = {
    "schema_version", "event_id", "sequence", "provider", "source_file_sha256",
    "timestamp", "timestamp_raw", "timestamp_source", "event_type", "session_id",
    "working_directory", "message", "artifact_kind", "source_record_type",
    "source_relative_path", "source_line", "source_id", "reference_status",
    "resolved_path", "snapshot_version", "size", "sha256", "media_type", "content",
    "content_encoding", "fs_modified", "fs_accessed", "fs_created", "warnings", "raw"};

using CsvRow = std::array<std::string, kCsvColumnCount>;

// `message` and `content` are filled only when the options ask for them.
CsvRow csv_row(const Event& event, const CsvOptions& options);

// The columns the extras add after the 30 ("origin", then the facts).
std::vector<std::string> extra_csv_header(const EventExtras& extras);
// An event's cells under them, into `cells` (reused from row to row): empty
// for anything absent, numbers as in JSON, flags "true" or "false".
void extra_csv_cells(const Event& event, const EventExtras& extras, std::vector<std::string>& cells);

}  // namespace vt
