#include "module/arguments.hpp"

#include <cstdlib>
#include <vector>

#include "core/parallel_files.hpp"
#include "module/binding.hpp"
#include "module/py_ref.hpp"
#include "module/path_arg.hpp"
#include "module/values.hpp"

namespace vtpy {

const char* param_name(Param param) {
  switch (param) {
    case Param::Path: return "path";
    case Param::OutputPath: return "output_path";
    case Param::Mode: return "mode";
    case Param::Format: return "format";
    case Param::IncludeRaw: return "include_raw";
    case Param::IncludeContent: return "include_content";
    case Param::IncludeMessage: return "include_message";
    case Param::Pretty: return "pretty";
    case Param::FollowSymlinks: return "follow_symlinks";
    case Param::MaxLineSize: return "max_line_size";
    case Param::MaxContentSize: return "max_content_size";
    case Param::Documented: return "documented";
    case Param::Collection: return "collection";
    case Param::Labels: return "labels";
  }
  return "?";
}

namespace {

// Converts one non-path value into its field of `out`.
bool convert_value(Param param, PyObject* value, CallArgs& out) {
  const char* name = param_name(param);
  switch (param) {
    case Param::Path:
    case Param::OutputPath: return true;  // converted after every other value
    case Param::Mode: return convert_text(name, value, out.mode);
    case Param::Format: return convert_text(name, value, out.format);
    case Param::IncludeRaw: return convert_flag(name, value, out.include_raw);
    case Param::IncludeContent: return convert_flag(name, value, out.include_content);
    case Param::IncludeMessage: return convert_flag(name, value, out.include_message);
    case Param::Pretty: return convert_flag(name, value, out.pretty);
    case Param::FollowSymlinks: return convert_flag(name, value, out.follow_symlinks);
    case Param::MaxLineSize: return convert_size(name, value, out.max_line_size);
    case Param::MaxContentSize: return convert_size(name, value, out.max_content_size);
    case Param::Documented: return convert_flag(name, value, out.documented);
    case Param::Collection: return convert_text(name, value, out.collection);
    case Param::Labels: return value == Py_None || convert_texts(name, value, out.labels);
  }
  return true;
}

}  // namespace

bool extract_call(const Signature& signature, PyObject* args, PyObject* kwargs, CallArgs& out) {
  std::vector<PyObject*> slots(signature.params.size(), nullptr);
  if (!bind_arguments(signature, args, kwargs, slots)) return false;

  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (slots[i] != nullptr && !convert_value(signature.params[i], slots[i], out)) return false;
  }
  // Paths last: `path` first, then `output_path`, whatever their positions.
  for (const Param which : {Param::Path, Param::OutputPath}) {
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (signature.params[i] != which || slots[i] == nullptr) continue;
      std::string& target = which == Param::Path ? out.path : out.output_path;
      if (!convert_path(slots[i], target)) return false;
    }
  }
  return true;
}

bool build_options(const CallArgs& args, vt::ParseOptions& options) {
  bool strict = false;
  if (args.mode == "strict") {
    strict = true;
  } else if (args.mode != "best_effort") {
    PyRef mode(str_from_utf8(args.mode));
    if (!mode) return false;
    PyErr_Format(PyExc_ValueError, "Invalid mode '%U': expected 'best_effort' or 'strict'",
                 mode.get());
    return false;
  }
  options = vt::ParseOptions{};
  options.max_line_size = args.max_line_size;
  options.max_content_size = args.max_content_size;
  options.input_kind = vt::InputKind::Auto;
  options.strict = strict;
  options.include_raw = args.include_raw;
  options.include_content = args.include_content;
  options.follow_symlinks = args.follow_symlinks;
  // Looked up on every call, so that a process can change it between calls.
  options.threads = vt::thread_count_from(std::getenv("VELLUMTRACE_THREADS"));
  return true;
}

}  // namespace vtpy
