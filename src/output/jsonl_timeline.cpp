// The events of a report as JSON Lines: one compact event object per line.
// Lines do not depend on each other, so with several threads the events are
// rendered a batch at a time, each thread a contiguous slice into its own
// buffer, and the slices are written out in order, in the serial writer's
// steps, while the next batch is rendered: the bytes and the error of a
// failing write are those of a serial rendering, and no more than two
// batches are held at a time.
#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
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
bool put_lines(const Report& report, std::size_t first, std::size_t last, BufferedSink& out,
               EventExtras extras) {
  JsonLayout j(out, false);  // one for all lines: no allocation per event
  for (std::size_t i = first; i < last; ++i) {
    put_event_object(j, report.events[i], extras);
    out.push_back('\n');
    if (out.failed()) return false;
  }
  return true;
}

// A failure of the writing: what is still held goes on once more, and the
// error names the step that failed.
Status failure(BufferedSink& out, const char* what) {
  out.abandon();
  return fail(ParseError::message(what + os_error_text(out.error())));
}

Status serial_lines(const Report& report, ByteSink& sink, EventExtras extras) {
  BufferedSink out(sink);
  JsonLayout j(out, false);  // one for all lines: no allocation per event
  for (const Event& event : report.events) {
    put_event_object(j, event, extras);
    if (out.failed()) return failure(out, "JSON serialization error: ");
    out.push_back('\n');
    if (out.failed()) return failure(out, "I/O write error: ");
  }
  if (!out.finish()) return failure(out, "I/O flush error: ");
  return {};
}

// Passes the rendered slices of one batch on, in order, through `out` in the
// steps the serial writer takes (an event's bytes, then its line feed): the
// sink then sees the same writes, and a failure names the same step.
Status write_slices(std::vector<MemorySink>& slices, const std::vector<std::error_code>& errors,
                    BufferedSink& out) {
  for (std::size_t t = 0; t < slices.size(); ++t) {
    if (errors[t]) return fail(ParseError::message("JSON serialization error: " + os_error_text(errors[t])));
    std::string_view text = slices[t].buffer();
    while (!text.empty()) {
      const std::size_t feed = text.find('\n');  // every rendered line ends with one
      out.append(text.substr(0, feed));
      if (out.failed()) return failure(out, "JSON serialization error: ");
      out.push_back('\n');
      if (out.failed()) return failure(out, "I/O write error: ");
      text.remove_prefix(feed + 1);
    }
  }
  return {};
}

// Batch b is rendered while batch b - 1 is written: two sets of slices take
// turns, and the writing is one more task beside the slices' rendering.
Status parallel_lines(const Report& report, ByteSink& sink, unsigned threads, EventExtras extras) {
  std::array<std::vector<MemorySink>, 2> slices{std::vector<MemorySink>(threads),
                                                std::vector<MemorySink>(threads)};
  std::array<std::vector<std::error_code>, 2> errors{std::vector<std::error_code>(threads),
                                                     std::vector<std::error_code>(threads)};
  const std::size_t count = report.events.size();
  const std::size_t batch = kSliceEvents * threads;
  const std::size_t batches = (count + batch - 1) / batch;
  BufferedSink out(sink);
  for (std::size_t step = 0; step <= batches; ++step) {
    const bool renders = step < batches, writes = step > 0;
    const std::size_t now = step % 2, before = 1 - now;
    const std::size_t start = step * batch, end = std::min(count, start + batch);
    const std::size_t per_slice = renders ? (end - start + threads - 1) / threads : 0;
    Status written;
    for_each_index((writes ? 1 : 0) + (renders ? threads : 0), threads, [&](std::size_t i) {
      if (writes && i == 0) {
        written = write_slices(slices[before], errors[before], out);
        return true;
      }
      const std::size_t t = i - (writes ? 1 : 0);
      MemorySink& slice = slices[now][t];
      slice.buffer().clear();
      errors[now][t].clear();
      const std::size_t first = std::min(end, start + t * per_slice);
      const std::size_t last = std::min(end, first + per_slice);
      BufferedSink out(slice);
      if (!put_lines(report, first, last, out, extras) || !out.finish()) errors[now][t] = out.error();
      return true;
    });
    if (!written) return written;
  }
  if (!out.finish()) return failure(out, "I/O flush error: ");
  return {};
}

}  // namespace

Status write_jsonl_timeline(const Report& report, ByteSink& sink, unsigned threads, EventExtras extras) {
  if (threads <= 1 || report.events.size() <= kSliceEvents) return serial_lines(report, sink, extras);
  return parallel_lines(report, sink, threads, extras);
}

}  // namespace vt
