// Binding and conversion of the arguments of the module's functions: every
// function names its parameters in positional order, and one routine binds a
// call to them, converts each value and reports any mistake with the exact
// TypeError/OverflowError texts callers see.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/options.hpp"

namespace vtpy {

// Every parameter any function takes; the name and Python type follow from it.
enum class Param : std::uint8_t {
  Path, OutputPath, Mode, Format, IncludeRaw, IncludeContent, IncludeMessage, Pretty,
  FollowSymlinks, MaxLineSize, MaxContentSize, Documented, Collection, Labels
};

const char* param_name(Param param);

// One function's parameters in positional order; the first `required` have
// no default.
struct Signature {
  const char* call_name;  // "parse()", as binding errors show it
  std::span<const Param> params;
  std::size_t required;
};

// The converted arguments of one call, holding the defaults until set.
struct CallArgs {
  std::string path;
  std::string output_path;
  std::string mode = "best_effort";
  std::string format = "json";
  bool include_raw = false;
  bool include_content = false;
  bool include_message = true;
  bool pretty = true;
  bool follow_symlinks = false;
  std::uint64_t max_line_size = vt::kDefaultMaxLineSize;
  std::uint64_t max_content_size = vt::kDefaultMaxContentSize;
  bool documented = false;  // the documented reading instead of the full one (Timeline)
  std::string collection;   // the label of every row (Timeline)
  std::vector<std::string> labels;  // one per path: the rows' `input` (Timeline)
};

// Binds `args`/`kwargs` to `signature`, converts the values, then the paths.
// False with a Python exception set on the first failure.
bool extract_call(const Signature& signature, PyObject* args, PyObject* kwargs, CallArgs& out);

// Validates the mode and builds the run's options. False with ValueError set.
bool build_options(const CallArgs& args, vt::ParseOptions& options);

}  // namespace vtpy
