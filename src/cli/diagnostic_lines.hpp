// Diagnostics for people and for files: one short line each on standard
// error (the first few, then how many more; control characters escaped, see
// terminal_text.hpp), or every diagnostic as JSON lines into a file of their
// own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/parse_error.hpp"
#include "core/records.hpp"
#include "output/sink.hpp"

namespace vt::cli {

inline constexpr std::size_t kDiagnosticsShown = 10;

// "warning invalid_timestamp sessions/a.jsonl:4: Field 'timestamp' is not valid RFC 3339."
std::string diagnostic_line(const Diagnostic& diagnostic);

// The first `shown` diagnostics, one line each, then a line telling how
// many more there are; empty when there are none.
std::string diagnostic_listing(const std::vector<Diagnostic>& diagnostics, std::size_t shown);

// Every diagnostic as one compact JSON object per line.
Status write_diagnostics_jsonl(const std::vector<Diagnostic>& diagnostics, ByteSink& sink);

}  // namespace vt::cli
