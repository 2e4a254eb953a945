// The events of a report as JSON Lines: one compact event object per line.
#include "core/path_text.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/record_json.hpp"
#include "output/writers.hpp"

namespace vt {

Status write_jsonl_timeline(const Report& report, ByteSink& sink) {
  BufferedSink out(sink);
  const auto failure = [&out](const char* what) {
    out.abandon();
    return fail(ParseError::message(what + os_error_text(out.error())));
  };

  JsonLayout j(out, false);  // one for all lines: no allocation per event
  for (const Event& event : report.events) {
    put_event_object(j, event);
    if (out.failed()) return failure("JSON serialization error: ");
    out.push_back('\n');
    if (out.failed()) return failure("I/O write error: ");
  }
  if (!out.finish()) return failure("I/O flush error: ");
  return {};
}

}  // namespace vt
