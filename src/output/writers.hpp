// The three renderings of a report: the JSON document (pretty or compact),
// the JSON-lines timeline and the CSV timeline, streamed into a byte sink.
#pragma once

#include "core/parse_error.hpp"
#include "core/records.hpp"
#include "output/sink.hpp"

namespace vt {

// What the program adds after the documented fields of an event, in the full
// reading only (the Python functions never ask for it): the origin of a
// prompt ("origin", null on other events), then the facts (`kFactFields`,
// null where absent), as last members of JSON and JSON-lines events or as
// last CSV columns, in that order.
struct EventExtras {
  bool origin = false;
  bool facts = false;
};

struct CsvOptions {
  bool include_message = true;
  bool include_content = false;
  EventExtras extras;
};

Status write_json_report(const Report& report, bool pretty, ByteSink& sink, EventExtras extras = {});
// With `threads` above 1, large timelines are rendered on that many threads;
// the bytes are the same.
Status write_jsonl_timeline(const Report& report, ByteSink& sink, unsigned threads = 1,
                            EventExtras extras = {});
Status write_csv_timeline(const Report& report, const CsvOptions& options, ByteSink& sink);

}  // namespace vt
