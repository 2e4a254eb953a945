// The events of a report as a CSV table: the fixed header, then one record
// per event. A field is quoted only when it holds a comma, a quotation mark,
// a line feed or a carriage return; records end with a bare line feed.
#include <cstring>
#include <string>
#include <vector>

#include "core/path_text.hpp"
#include "output/buffered_sink.hpp"
#include "output/csv_row.hpp"
#include "output/writers.hpp"

namespace vt {

namespace {

void put_field(BufferedSink& out, std::string_view field) {
  std::string repaired;
  if (!is_valid_utf8(field)) {
    repaired = utf8_lossy(field);
    field = repaired;
  }
  if (field.find_first_of(",\"\n\r") == std::string_view::npos) {
    out.append(field);
    return;
  }
  out.push_back('"');
  std::size_t run = 0;
  for (std::size_t quote = field.find('"'); quote != std::string_view::npos;
       quote = field.find('"', quote + 1)) {
    out.append(field.substr(run, quote + 1 - run));
    out.push_back('"');
    run = quote + 1;
  }
  out.append(field.substr(run));
  out.push_back('"');
}

// The fields, then the extra cells.
template <class Fields>
void put_record(BufferedSink& out, const Fields& fields, const std::vector<std::string>& extra) {
  bool first = true;
  for (const auto& field : fields) {
    if (!first) out.push_back(',');
    first = false;
    put_field(out, field);
  }
  for (const std::string& cell : extra) {
    out.push_back(',');
    put_field(out, cell);
  }
  out.push_back('\n');
}

}  // namespace

Status write_csv_timeline(const Report& report, const CsvOptions& options, ByteSink& sink) {
  BufferedSink out(sink);
  const auto failure = [&out](const char* what) {
    out.abandon();
    return fail(ParseError::message(what + os_error_text(out.error())));
  };

  std::vector<std::string> extra = extra_csv_header(options.extras);
  put_record(out, kCsvColumns, extra);
  if (out.failed()) return failure("CSV header write error: ");
  for (const Event& event : report.events) {
    extra_csv_cells(event, options.extras, extra);
    put_record(out, csv_row(event, options), extra);
    if (out.failed()) return failure("CSV record write error: ");
  }
  if (!out.finish()) return failure("CSV flush error: ");
  return {};
}

}  // namespace vt
