// The one entry point of the timeline core: classify the input, let the
// owning adapter read it, and turn what it read into the final report.
#pragma once

#include <string>
#include <vector>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "core/records.hpp"

namespace vt {

// One complete parse run over `path` (UTF-8 text as the caller gave it).
Result<Report> run(const std::string& path, const ParseOptions& options);
// One run over several paths: one timeline, one sort, one numbering, the
// diagnostics in the order of the inputs.
Result<Report> run(const std::vector<std::string>& paths, const ParseOptions& options);

// Sorts the events into timeline order (on up to `threads` threads), numbers
// them from 0 and applies the strict-mode stop.
Result<Report> finalize_report(std::vector<Event> events, std::vector<Diagnostic> diagnostics,
                               bool strict, unsigned threads = 1);

}  // namespace vt
