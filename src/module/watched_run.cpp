#include "module/watched_run.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace vtpy {

namespace {

constexpr std::chrono::milliseconds kSignalInterval{100};

// Completion of the job, told to the waiting thread.
struct Completion {
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;

  void finish() {
    {
      std::lock_guard<std::mutex> hold(mutex);
      done = true;
    }
    changed.notify_one();
  }
};

}  // namespace

bool run_watched(const std::function<void()>& job, std::atomic<bool>& cancel) {
  Completion completion;
  PyThreadState* saved = PyEval_SaveThread();
  std::thread worker;
  try {
    worker = std::thread([&job, &completion] {
      job();
      completion.finish();
    });
  } catch (const std::system_error&) {
    // No thread to be had: the work runs here, deaf to signals until done.
    job();
    PyEval_RestoreThread(saved);
    return false;
  }
  bool interrupted = false;
  std::unique_lock<std::mutex> waiting(completion.mutex);
  while (!completion.changed.wait_for(waiting, kSignalInterval, [&] { return completion.done; })) {
    if (interrupted) continue;  // the job is unwinding
    waiting.unlock();
    PyEval_RestoreThread(saved);
    interrupted = PyErr_CheckSignals() != 0;  // the exception stays pending
    saved = PyEval_SaveThread();
    if (interrupted) cancel.store(true);
    waiting.lock();
  }
  waiting.unlock();
  worker.join();
  PyEval_RestoreThread(saved);
  return interrupted;
}

}  // namespace vtpy
