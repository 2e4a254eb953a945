#include "core/parallel_files.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace vt {

namespace {

// Past this, more threads only add contention (and memory: one file each).
constexpr unsigned kMaxThreads = 256;

// The work of one run: the next index to hand out, the highest index still
// worth reading, and the first exception a task threw.
class IndexQueue {
 public:
  IndexQueue(std::size_t count, const std::function<bool(std::size_t)>& task)
      : count_(count), task_(task), limit_(count) {}

  void drain() {
    for (;;) {
      const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
      if (i >= count_ || i >= limit_.load(std::memory_order_acquire)) return;
      bool go_on = true;
      try {
        go_on = task_(i);
      } catch (...) {
        keep_exception(std::current_exception());
        go_on = false;
      }
      if (!go_on) lower_limit(i + 1);
    }
  }

  void rethrow() {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  void lower_limit(std::size_t to) {
    std::size_t seen = limit_.load(std::memory_order_relaxed);
    while (to < seen && !limit_.compare_exchange_weak(seen, to, std::memory_order_acq_rel)) {
    }
  }

  void keep_exception(std::exception_ptr e) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!failure_) failure_ = std::move(e);
  }

  const std::size_t count_;
  const std::function<bool(std::size_t)>& task_;
  std::atomic<std::size_t> next_{0};
  std::atomic<std::size_t> limit_;
  std::mutex mutex_;
  std::exception_ptr failure_;
};

}  // namespace

void for_each_index(std::size_t count, unsigned threads, const std::function<bool(std::size_t)>& task) {
  if (threads <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      if (!task(i)) return;
    }
    return;
  }
  IndexQueue queue(count, task);
  const std::size_t helpers = std::min<std::size_t>(threads, count) - 1;
  std::vector<std::thread> pool;
  pool.reserve(helpers);
  for (std::size_t n = 0; n < helpers; ++n) {
    try {
      pool.emplace_back([&queue] { queue.drain(); });
    } catch (const std::system_error&) {
      break;  // fewer threads to be had: those running share the work
    }
  }
  queue.drain();
  for (std::thread& t : pool) t.join();
  queue.rethrow();
}

unsigned thread_count_from(const char* setting) {
  if (setting != nullptr && *setting != '\0') {
    unsigned value = 0;
    const char* end = setting + std::strlen(setting);
    const auto [stop, error] = std::from_chars(setting, end, value);
    if (error == std::errc() && stop == end && value > 0) return std::min(value, kMaxThreads);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace vt
