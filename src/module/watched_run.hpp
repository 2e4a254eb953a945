// Running plain C++ work off the interpreter lock while staying answerable to
// signals: the work runs on a worker thread and the calling thread, lock
// released, waits for it, taking the lock back at a steady interval only to
// let the interpreter run its signal handlers (Ctrl-C among them).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <functional>

namespace vtpy {

// Runs `job` (which must not touch any Python object nor throw) to its end.
// Call with the lock held; it is held again on return. When a signal handler
// raises meanwhile, `cancel` is set so that the job stops early, and the
// result is true with that exception pending.
bool run_watched(const std::function<void()>& job, std::atomic<bool>& cancel);

// Lets the interpreter run pending signal handlers; false with the exception
// set when one raised. For long stretches of work done with the lock held.
inline bool signals_quiet() { return PyErr_CheckSignals() == 0; }

// For work done with the lock held in many small steps (building a result
// object by object): every few thousand steps, the signal handlers run, so
// that Ctrl-C is answered within milliseconds however the work is shaped.
class SignalPoll {
 public:
  // False with the exception set when a handler raised.
  bool step() {
    if (++steps_ < kStepsBetweenChecks) return true;
    steps_ = 0;
    return signals_quiet();
  }

 private:
  static constexpr unsigned kStepsBetweenChecks = 4096;
  unsigned steps_ = 0;
};

}  // namespace vtpy
