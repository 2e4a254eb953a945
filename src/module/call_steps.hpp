// The steps every function of the module shares: accept and convert the
// arguments, run the parse with the interpreter lock released, and keep
// every C++ exception from crossing into Python.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string>

#include "core/input_files.hpp"
#include "core/options.hpp"
#include "core/records.hpp"
#include "module/arguments.hpp"
#include "module/errors.hpp"

namespace vtpy {

// Binding, conversion, paths, mode. False with a Python exception set.
bool prepare_call(const Signature& signature, PyObject* args, PyObject* kwargs, CallArgs& call,
                  vt::ParseOptions& options);

// The parse run, lock released and answering signals (a raising handler
// stops the run). Nothing, with the exception raised, on failure. `inputs`,
// when given, receives the identities of the files the run read.
std::optional<vt::Report> run_parse(PyObject* module, const std::string& path,
                                    const vt::ParseOptions& options,
                                    vt::InputFiles* inputs = nullptr);

// Drops a report with the lock released (a large one takes a while to free).
void discard_released(vt::Report& report);

// Calls `body` (returning a new reference or nullptr with an exception set)
// and turns anything it throws into an internal failure.
template <class Body>
PyObject* guarded_call(PyObject* module, Body&& body) noexcept {
  PyObject* result = nullptr;
  try {
    result = body();
  } catch (...) {
    raise_internal_failure(module, describe_current_exception());
    return nullptr;
  }
  if (result == nullptr && !PyErr_Occurred()) {
    raise_internal_failure(module, InternalFailure{"call failed without an exception", false});
  }
  return result;
}

}  // namespace vtpy
