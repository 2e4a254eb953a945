// The events of a report as a CSV table: the fixed header, then one record
// per event. A field is quoted only when it holds a comma, a quotation mark,
// a line feed or a carriage return; records end with a bare line feed.
#include <cstring>
#include <optional>

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

// The fields, then `extra` as one more when given.
template <class Fields>
void put_record(BufferedSink& out, const Fields& fields, std::optional<std::string_view> extra) {
  bool first = true;
  for (const auto& field : fields) {
    if (!first) out.push_back(',');
    first = false;
    put_field(out, field);
  }
  if (extra) {
    out.push_back(',');
    put_field(out, *extra);
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

  const bool origin = options.extras.origin;
  put_record(out, kCsvColumns, origin ? std::optional<std::string_view>("origin") : std::nullopt);
  if (out.failed()) return failure("CSV header write error: ");
  for (const Event& event : report.events) {
    std::optional<std::string_view> origin_cell;
    if (origin) origin_cell = event.origin ? wire_name(*event.origin) : std::string_view("");
    put_record(out, csv_row(event, options), origin_cell);
    if (out.failed()) return failure("CSV record write error: ");
  }
  if (!out.finish()) return failure("CSV flush error: ");
  return {};
}

}  // namespace vt
