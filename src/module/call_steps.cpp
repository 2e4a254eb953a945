#include "module/call_steps.hpp"

#include "core/driver.hpp"
#include "module/released.hpp"

namespace vtpy {

bool prepare_call(const Signature& signature, PyObject* args, PyObject* kwargs, CallArgs& call,
                  vt::ParseOptions& options) {
  return extract_call(signature, args, kwargs, call) && build_options(call, options);
}

std::optional<vt::Report> run_parse(PyObject* module, const std::string& path,
                                    const vt::ParseOptions& options, vt::InputFiles* inputs) {
  std::atomic<bool> cancel{false};
  vt::ParseOptions watched = options;
  watched.cancel = &cancel;
  watched.inputs = inputs;
  auto outcome = run_released([&] { return vt::run(path, watched); }, &cancel);
  if (!outcome) {
    raise_call_error(module, outcome.error());
    return std::nullopt;
  }
  return std::move(*outcome);
}

void discard_released(vt::Report& report) {
  Py_BEGIN_ALLOW_THREADS
  vt::Report gone = std::move(report);
  (void)gone;
  Py_END_ALLOW_THREADS
}

}  // namespace vtpy
