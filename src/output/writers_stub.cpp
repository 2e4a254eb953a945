// STUB: replaced by the writers.
#include "output/writers.hpp"

namespace vt {

namespace {
Status not_built() { return fail(ParseError::message("output writers are not built yet")); }
}  // namespace

Status write_json_report(const Report&, bool, ByteSink&) { return not_built(); }
Status write_jsonl_timeline(const Report&, ByteSink&) { return not_built(); }
Status write_csv_timeline(const Report&, const CsvOptions&, ByteSink&) { return not_built(); }

}  // namespace vt
