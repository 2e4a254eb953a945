// The session reports of the program (--format markdown / html): every page
// written into the directory --output names, created when missing. Each page
// replaces its file only once completely written; pages are named by the
// report, never by the input, so nothing lands outside the directory.
#pragma once

#include <string>

#include "cli/arguments.hpp"
#include "cli/interrupts.hpp"
#include "core/input_files.hpp"
#include "core/records.hpp"

namespace vt::cli {

bool is_report_format(const std::string& format);

// Empty on success, else the failure's text.
std::string write_report_dir(const Report& report, const Arguments& args, const InputFiles& inputs,
                             InterruptWatch& watch);

}  // namespace vt::cli
