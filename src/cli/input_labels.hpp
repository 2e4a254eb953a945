// The program's inputs with the names the full reading gives their events:
// `--label PATH=LABEL` names the input given as PATH (exactly as written on
// the command line); an input without a label is named by its path.
#pragma once

#include <string>
#include <vector>

#include "core/run_plan.hpp"

namespace vt::cli {

struct InputLabel {
  std::string path;
  std::string label;
};

// `PATH=LABEL` split at its last `=`, or the reason it cannot be.
std::string parse_input_label(const std::string& text, InputLabel& out);

// The usage problem of these labels for these paths (a path not given, one
// path labelled twice), or empty.
std::string check_input_labels(const std::vector<std::string>& paths, const std::vector<InputLabel>& labels);

// The run's inputs, in the order given, each with its label.
std::vector<RunInput> run_inputs(const std::vector<std::string>& paths, const std::vector<InputLabel>& labels);

}  // namespace vt::cli
