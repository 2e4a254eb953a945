// The session reports of the program (--format markdown / html): every page
// written into the directory --output names, created when missing. The
// report owns what it writes there and nothing else: each page is first
// written to a temporary file created inside the directory (never opened
// through an entry already there: a link, a FIFO), and only once every page
// is written are they all renamed over their names, together with the
// manifest of what the report wrote; pages an earlier report listed and this
// one does not write are then removed (when still as written). A failure or
// an interrupt before that leaves the folder as it was. Pages are named by
// the report, never by the input, so nothing lands outside the directory.
#pragma once

#include <string>

#include "cli/arguments.hpp"
#include "cli/interrupts.hpp"
#include "core/input_files.hpp"
#include "core/records.hpp"

namespace vt::cli {

bool is_report_format(const std::string& format);

// Empty on success, else the failure's text. `price_date`: the date of the
// price table the events' costs were estimated with.
std::string write_report_dir(const Report& report, const Arguments& args, const InputFiles& inputs,
                             InterruptWatch& watch, const std::string& price_date);

}  // namespace vt::cli
