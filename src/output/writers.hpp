// The three renderings of a report: the JSON document (pretty or compact),
// the JSON-lines timeline and the CSV timeline, streamed into a byte sink.
#pragma once

#include "core/parse_error.hpp"
#include "core/records.hpp"
#include "output/sink.hpp"

namespace vt {

struct CsvOptions {
  bool include_message = true;
  bool include_content = false;
};

Status write_json_report(const Report& report, bool pretty, ByteSink& sink);
// With `threads` above 1, large timelines are rendered on that many threads;
// the bytes are the same.
Status write_jsonl_timeline(const Report& report, ByteSink& sink, unsigned threads = 1);
Status write_csv_timeline(const Report& report, const CsvOptions& options, ByteSink& sink);

}  // namespace vt
