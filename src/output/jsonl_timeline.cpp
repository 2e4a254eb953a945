// The events of a report as JSON Lines: one compact event object per line.
// Lines do not depend on each other, so with several threads the events are
// rendered a batch at a time, each thread a contiguous slice into its own
// buffer, and the slices are written out in order: the bytes are those of a
// serial rendering, and no more than one batch is held at a time.
#include <algorithm>
#include <cstddef>
#include <string>
#include <system_error>
#include <vector>

#include "core/parallel_files.hpp"
#include "core/path_text.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/record_json.hpp"
#include "output/writers.hpp"

namespace vt {

namespace {

// Events per thread and batch: enough to keep thread start-up negligible,
// few enough that a batch stays a few megabytes.
constexpr std::size_t kSliceEvents = 1024;

// Renders events [first, last) as lines into `out`; false when `out` failed.
bool put_lines(const Report& report, std::size_t first, std::size_t last, BufferedSink& out) {
  JsonLayout j(out, false);  // one for all lines: no allocation per event
  for (std::size_t i = first; i < last; ++i) {
    put_event_object(j, report.events[i]);
    out.push_back('\n');
    if (out.failed()) return false;
  }
  return true;
}

Status serial_lines(const Report& report, ByteSink& sink) {
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

Status parallel_lines(const Report& report, ByteSink& sink, unsigned threads) {
  std::vector<MemorySink> slices(threads);
  std::vector<std::error_code> errors(threads);
  const std::size_t count = report.events.size();
  const std::size_t batch = kSliceEvents * threads;
  for (std::size_t start = 0; start < count; start += batch) {
    const std::size_t end = std::min(count, start + batch);
    const std::size_t per_slice = (end - start + threads - 1) / threads;
    for_each_index(threads, threads, [&](std::size_t t) {
      slices[t].buffer().clear();
      const std::size_t first = std::min(end, start + t * per_slice);
      const std::size_t last = std::min(end, first + per_slice);
      BufferedSink out(slices[t]);
      if (!put_lines(report, first, last, out) || !out.finish()) errors[t] = out.error();
      return true;
    });
    for (std::size_t t = 0; t < threads; ++t) {
      if (errors[t]) return fail(ParseError::message("JSON serialization error: " + os_error_text(errors[t])));
      const std::string& text = slices[t].buffer();
      if (auto written = sink.write(text.data(), text.size()); !written) {
        return fail(ParseError::message("I/O write error: " + os_error_text(written.error())));
      }
    }
  }
  if (auto flushed = sink.flush(); !flushed) {
    return fail(ParseError::message("I/O flush error: " + os_error_text(flushed.error())));
  }
  return {};
}

}  // namespace

Status write_jsonl_timeline(const Report& report, ByteSink& sink, unsigned threads) {
  if (threads <= 1 || report.events.size() <= kSliceEvents) return serial_lines(report, sink);
  return parallel_lines(report, sink, threads);
}

}  // namespace vt
