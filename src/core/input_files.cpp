#include "core/input_files.hpp"

#include <sys/stat.h>

#include <string>

namespace vt {

namespace {

class OutputErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "vellumtrace.output"; }
  std::string message(int) const override { return "it is one of the input files of this run"; }
};

const OutputErrorCategory& output_error_category() {
  static const OutputErrorCategory category;
  return category;
}

}  // namespace

void InputFiles::note(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  const std::lock_guard<std::mutex> hold(mutex_);
  ids_.emplace(st.st_dev, st.st_ino);
}

bool InputFiles::contains(const std::filesystem::path& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  const std::lock_guard<std::mutex> hold(mutex_);
  return ids_.count({st.st_dev, st.st_ino}) != 0;
}

std::error_code output_names_an_input(const std::filesystem::path& output, const InputFiles& inputs) {
  if (inputs.contains(output)) return {1, output_error_category()};
  return {};
}

}  // namespace vt
