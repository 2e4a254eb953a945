// Running plain C++ work with the interpreter lock released. The work must
// not touch any Python object; whatever it throws is caught here and comes
// back as an internal failure, so no exception ever crosses into Python.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <expected>
#include <type_traits>
#include <utility>

#include "module/errors.hpp"

namespace vtpy {

// `work` returns a vt::Result<T> (or vt::Status); the lock is taken back
// before returning, whatever happened.
template <class Work>
auto run_released(Work&& work)
    -> std::expected<typename std::invoke_result_t<Work&>::value_type, CallError> {
  using Value = typename std::invoke_result_t<Work&>::value_type;
  std::expected<Value, CallError> outcome = std::unexpected(CallError{InternalFailure{}});
  PyThreadState* saved = PyEval_SaveThread();
  try {
    auto result = work();
    if (!result) {
      outcome = std::unexpected(CallError{std::move(result.error())});
    } else if constexpr (std::is_void_v<Value>) {
      outcome = {};
    } else {
      outcome = std::move(*result);
    }
  } catch (...) {
    outcome = std::unexpected(CallError{describe_current_exception()});
  }
  PyEval_RestoreThread(saved);
  return outcome;
}

}  // namespace vtpy
