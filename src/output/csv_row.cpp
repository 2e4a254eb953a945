#include "output/csv_row.hpp"

#include <optional>

#include "core/fact_fields.hpp"
#include "output/json_text.hpp"

namespace vt {

namespace {

std::string text_or_empty(const std::optional<std::string>& text) { return text ? *text : ""; }
std::string text_or_empty(const OptionalShared& text) { return text ? text->str() : ""; }

std::string number_or_empty(const std::optional<std::uint64_t>& value) {
  return value ? std::to_string(*value) : "";
}

std::string time_or_empty(const std::optional<Instant>& instant) {
  return instant ? offset_timestamp_text(*instant) : "";
}

std::string value_or_empty(const RawTimestamp& value) {
  if (const auto text = value.string()) {
    std::string cell;
    put_json_string(cell, *text);
    return cell;
  }
  return value.held() != nullptr ? value_text(*value.held()) : "";
}

std::string warnings_cell(const WarningList& warnings) {
  if (warnings.empty()) return "";
  std::string cell = "[";
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    if (i > 0) cell.push_back(',');
    put_json_string(cell, warnings[i]);
  }
  cell.push_back(']');
  return cell;
}

void put_cell(std::string& cell, const OptionalShared& value) {
  if (value) cell = value->str();
}
void put_cell(std::string& cell, const std::optional<std::uint64_t>& value) {
  if (value) cell = std::to_string(*value);
}
void put_cell(std::string& cell, const std::optional<std::int64_t>& value) {
  if (value) cell = std::to_string(*value);
}
void put_cell(std::string& cell, const std::optional<double>& value) {
  if (value) append_float_text(cell, *value);
}
void put_cell(std::string& cell, const std::optional<bool>& value) {
  if (value) cell = *value ? "true" : "false";
}

}  // namespace

std::vector<std::string> extra_csv_header(const EventExtras& extras) {
  std::vector<std::string> names;
  if (extras.origin) names.emplace_back("origin");
  if (extras.facts) for_each_fact_field([&names](const auto& field) { names.emplace_back(field.name); });
  return names;
}

void extra_csv_cells(const Event& e, const EventExtras& extras, std::vector<std::string>& cells) {
  std::size_t i = 0;
  if (extras.origin) cells[i++] = e.origin ? std::string(wire_name(*e.origin)) : std::string();
  if (extras.facts) {
    for_each_fact_field([&](const auto& field) {
      std::string& cell = cells[i++];
      cell.clear();
      put_cell(cell, field.get(e));
    });
  }
}

CsvRow csv_row(const Event& e, const CsvOptions& options) {
  CsvRow row;
  row[0] = e.schema_version;
  row[1] = e.event_id;
  row[2] = std::to_string(e.sequence);
  row[3] = wire_name(e.provider);
  row[4] = text_or_empty(e.source_file_sha256);
  row[5] = time_or_empty(e.timestamp);
  row[6] = value_or_empty(e.timestamp_raw);
  row[7] = wire_name(e.timestamp_source);
  row[8] = wire_name(e.event_type);
  row[9] = text_or_empty(e.session_id);
  row[10] = text_or_empty(e.working_directory);
  if (options.include_message) row[11] = text_or_empty(e.message);
  row[12] = wire_name(e.source.artifact_kind);
  row[13] = text_or_empty(e.source.record_type);
  row[14] = e.source.relative_path.str();
  row[15] = number_or_empty(e.source.line_number);
  row[16] = text_or_empty(e.source.source_id);
  if (e.artifact) {
    const Artifact& a = *e.artifact;
    if (a.reference_status) row[17] = wire_name(*a.reference_status);
    row[18] = text_or_empty(a.resolved_path);
    row[19] = number_or_empty(a.snapshot_version);
    row[20] = number_or_empty(a.size);
    row[21] = text_or_empty(a.sha256);
    row[22] = text_or_empty(a.media_type);
    if (options.include_content) row[23] = text_or_empty(a.content);
    if (a.content_encoding) row[24] = wire_name(*a.content_encoding);
  }
  if (e.fs_times) {
    row[25] = time_or_empty(e.fs_times->modified);
    row[26] = time_or_empty(e.fs_times->accessed);
    row[27] = time_or_empty(e.fs_times->created);
  }
  row[28] = warnings_cell(e.warnings);
  row[29] = e.raw ? value_text(*e.raw) : std::string();
  return row;
}

}  // namespace vt
