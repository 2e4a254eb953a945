// The events of a report as JSON Lines: one compact event object per line.
// Lines do not depend on each other, so with several threads the events are
// rendered a batch at a time, each thread a contiguous slice into its own
// buffer, and the slices are written out in order, in the serial writer's
// steps, while the next batch is rendered: the bytes and the error of a
// failing write are those of a serial rendering, and no more than two
// batches are held at a time. A slice that grows past a few megabytes (events
// with large raw records) stops there, and the writer renders the rest of it
// straight to the output: memory stays bounded by bytes, not events.
#include <algorithm>
#include <array>
#include <optional>
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

// The bytes after which a slice's thread leaves the rest to the writer.
constexpr std::size_t kSliceBytes = std::size_t{4} << 20;

// Renders events [first, last) as lines into `out` over `held`, stopping
// once `held` passes kSliceBytes; the index of the first event not rendered,
// or nullopt when `out` failed.
std::optional<std::size_t> put_lines(const Report& report, std::size_t first, std::size_t last,
                                     BufferedSink& out, MemorySink& held, EventExtras extras) {
  JsonLayout j(out, false);  // one for all lines: no allocation per event
  for (std::size_t i = first; i < last; ++i) {
    put_event_object(j, report.events[i], extras);
    out.push_back('\n');
    if (out.failed()) return std::nullopt;
    if (held.buffer().size() >= kSliceBytes) return i + 1;
  }
  return last;
}

// A failure of the writing: what is still held goes on once more, and the
// error names the step that failed.
Status failure(BufferedSink& out, const char* what) {
  out.abandon();
  return fail(ParseError::message(what + os_error_text(out.error())));
}

// Renders events [first, last) straight into `out`, each step checked.
Status stream_lines(const Report& report, std::size_t first, std::size_t last, BufferedSink& out,
                    EventExtras extras) {
  JsonLayout j(out, false);  // one for all lines: no allocation per event
  for (std::size_t i = first; i < last; ++i) {
    put_event_object(j, report.events[i], extras);
    if (out.failed()) return failure(out, "JSON serialization error: ");
    out.push_back('\n');
    if (out.failed()) return failure(out, "I/O write error: ");
  }
  return {};
}

Status serial_lines(const Report& report, ByteSink& sink, EventExtras extras) {
  BufferedSink out(sink);
  if (Status streamed = stream_lines(report, 0, report.events.size(), out, extras); !streamed) return streamed;
  if (!out.finish()) return failure(out, "I/O flush error: ");
  return {};
}

// One thread's share of a batch: its rendered lines, the failure of its
// rendering, and the events [rest, last) it left to the writer.
struct Slice {
  MemorySink lines;
  std::error_code error;
  std::size_t rest = 0, last = 0;
};

// Passes the rendered slices of one batch on, in order, through `out` in the
// steps the serial writer takes (an event's bytes, then its line feed): the
// sink then sees the same writes, and a failure names the same step. What a
// slice left is rendered here, after its lines.
Status write_slices(const Report& report, std::vector<Slice>& slices, BufferedSink& out, EventExtras extras) {
  for (Slice& slice : slices) {
    if (slice.error) return fail(ParseError::message("JSON serialization error: " + os_error_text(slice.error)));
    std::string_view text = slice.lines.buffer();
    while (!text.empty()) {
      const std::size_t feed = text.find('\n');  // every rendered line ends with one
      out.append(text.substr(0, feed));
      if (out.failed()) return failure(out, "JSON serialization error: ");
      out.push_back('\n');
      if (out.failed()) return failure(out, "I/O write error: ");
      text.remove_prefix(feed + 1);
    }
    if (Status rest = stream_lines(report, slice.rest, slice.last, out, extras); !rest) return rest;
  }
  return {};
}

// Batch b is rendered while batch b - 1 is written: two sets of slices take
// turns, and the writing is one more task beside the slices' rendering.
Status parallel_lines(const Report& report, ByteSink& sink, unsigned threads, EventExtras extras) {
  std::array<std::vector<Slice>, 2> slices{std::vector<Slice>(threads), std::vector<Slice>(threads)};
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
        written = write_slices(report, slices[before], out, extras);
        return true;
      }
      const std::size_t t = i - (writes ? 1 : 0);
      Slice& slice = slices[now][t];
      slice.lines.buffer().clear();
      slice.error.clear();
      const std::size_t first = std::min(end, start + t * per_slice);
      slice.last = std::min(end, first + per_slice);
      BufferedSink out(slice.lines);
      const std::optional<std::size_t> rest = put_lines(report, first, slice.last, out, slice.lines, extras);
      slice.rest = rest.value_or(slice.last);
      if (!rest || !out.finish()) slice.error = out.error();
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
