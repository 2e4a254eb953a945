#include "cli/input_labels.hpp"

#include <algorithm>

namespace vt::cli {

namespace {

const InputLabel* label_of(const std::string& path, const std::vector<InputLabel>& labels) {
  const auto found = std::find_if(labels.begin(), labels.end(), [&](const InputLabel& l) { return l.path == path; });
  return found == labels.end() ? nullptr : &*found;
}

}  // namespace

std::string parse_input_label(const std::string& text, InputLabel& out) {
  const std::size_t split = text.rfind('=');
  if (split == std::string::npos) return "expected PATH=LABEL, got '" + text + "'";
  out.path = text.substr(0, split);
  out.label = text.substr(split + 1);
  if (out.path.empty()) return "no path before '=' in '" + text + "'";
  if (out.label.empty()) return "an empty label for '" + out.path + "'";
  return {};
}

std::string check_input_labels(const std::vector<std::string>& paths, const std::vector<InputLabel>& labels) {
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const std::string& path = labels[i].path;
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) {
      return "'" + path + "' is not one of the paths given (write it as on the command line)";
    }
    if (label_of(path, labels) != &labels[i]) return "'" + path + "' is labelled twice";
  }
  return {};
}

std::vector<RunInput> run_inputs(const std::vector<std::string>& paths, const std::vector<InputLabel>& labels) {
  std::vector<RunInput> inputs;
  inputs.reserve(paths.size());
  for (const std::string& path : paths) {
    const InputLabel* label = label_of(path, labels);
    inputs.push_back({path, label != nullptr ? label->label : std::string()});
  }
  return inputs;
}

}  // namespace vt::cli
