// Running plain C++ work with the interpreter lock released. The work must
// not touch any Python object; whatever it throws is caught here and comes
// back as an internal failure, so no exception ever crosses into Python.
// Signals stay answered meanwhile.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <expected>
#include <type_traits>
#include <utility>

#include "module/errors.hpp"
#include "module/watched_run.hpp"

namespace vtpy {

// `work` returns a vt::Result<T> (or vt::Status); the lock is taken back
// before returning, whatever happened. The work runs watched (see
// run_watched): a signal handler that raises sets `*cancel` (when given; work
// that reads it stops early) and the call ends with that exception.
template <class Work>
auto run_released(Work&& work, std::atomic<bool>* cancel = nullptr)
    -> std::expected<typename std::invoke_result_t<Work&>::value_type, CallError> {
  using Value = typename std::invoke_result_t<Work&>::value_type;
  std::expected<Value, CallError> outcome = std::unexpected(CallError{InternalFailure{}});
  const auto job = [&]() noexcept {
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
  };
  std::atomic<bool> unused{false};
  if (run_watched(job, cancel != nullptr ? *cancel : unused)) {
    return std::unexpected(CallError{PendingException{}});
  }
  return outcome;
}

}  // namespace vtpy
