// The whole report as one JSON document: {"events": [...], "diagnostics": [...]}.
#include "core/path_text.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/record_json.hpp"
#include "output/writers.hpp"

namespace vt {

Status write_json_report(const Report& report, bool pretty, ByteSink& sink, EventExtras extras) {
  BufferedSink out(sink);
  const auto failure = [&out]() {
    out.abandon();
    return fail(ParseError::json_serialize(os_error_text(out.error())));
  };

  JsonLayout j(out, pretty);
  j.begin_object();
  j.key("events");
  j.begin_array();
  for (const Event& event : report.events) {
    j.element();
    put_event_object(j, event, extras);
    if (out.failed()) return failure();
  }
  j.end_array();
  j.key("diagnostics");
  j.begin_array();
  for (const Diagnostic& diagnostic : report.diagnostics) {
    j.element();
    put_diagnostic_object(j, diagnostic);
    if (out.failed()) return failure();
  }
  j.end_array();
  j.end_object();
  if (!out.finish()) return failure();
  return {};
}

}  // namespace vt
