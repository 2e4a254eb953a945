// The one entry point of the timeline core: classify the input, let the
// owning adapter read it, and turn what it read into the final report.
#pragma once

#include <string>
#include <vector>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "core/records.hpp"
#include "core/run_plan.hpp"

namespace vt {

// One complete parse run over `path` (UTF-8 text as the caller gave it).
Result<Report> run(const std::string& path, const ParseOptions& options);
// One run over several inputs: one timeline, one sort, one numbering, the
// diagnostics in the order of the inputs. In the full reading every event
// names its input (`Event::input`: the label, else the path as given; the
// input and the `event_id` are unique together in a run), an agent's root
// that gives nothing says so (an info `nothing_to_read`), and of several
// inputs one that cannot be planned or read becomes an `unreadable_input`
// error naming it while the others are read (a strict run ends at it).
Result<Report> run(const std::vector<RunInput>& inputs, const ParseOptions& options);
// The same over unlabelled paths.
Result<Report> run(const std::vector<std::string>& paths, const ParseOptions& options);

// Sorts the events into timeline order (on up to `threads` threads), numbers
// them from 0 and applies the strict-mode stop.
Result<Report> finalize_report(std::vector<Event> events, std::vector<Diagnostic> diagnostics,
                               bool strict, unsigned threads = 1);

}  // namespace vt
