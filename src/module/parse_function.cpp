// `parse`: the report of a run as Python objects.
#include "module/call_steps.hpp"
#include "module/functions.hpp"
#include "module/report_to_python.hpp"
#include "module/stepped_release.hpp"

namespace vtpy {

namespace {

constexpr Param kParseParams[] = {Param::Path,           Param::Mode,
                                  Param::IncludeRaw,     Param::IncludeContent,
                                  Param::FollowSymlinks, Param::MaxLineSize,
                                  Param::MaxContentSize};
constexpr Signature kParse{"parse()", kParseParams, 1};

}  // namespace

PyObject* parse(PyObject* module, PyObject* args, PyObject* kwargs) {
  return guarded_call(module, [&]() -> PyObject* {
    CallArgs call;
    vt::ParseOptions options;
    if (!prepare_call(kParse, args, kwargs, call, options)) return nullptr;
    std::optional<vt::Report> report = run_parse(module, call.path, options);
    if (!report) return nullptr;
    PyObject* result = report_to_python(*report);
    if (result == nullptr) {
      release_in_background(*report);  // interrupted: the caller is waiting
    } else {
      discard_released(*report);
    }
    return result;
  });
}

}  // namespace vtpy
