// SIGINT and SIGTERM for the program: both are blocked in every thread and
// taken by one watching thread, which removes the temporary output files
// still registered (and the output folders the run created, when empty), runs the registered tidy-up (erasing the progress line)
// and ends the process with status 128 + signal number (130, 143).
// Construct it first in main, before any other thread starts.
#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace vt::cli {

class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Runs `step` so that a signal is handled either wholly before or wholly
  // after it: creating and registering a temporary, or renaming it away.
  template <class Step>
  auto exclusive(Step&& step) {
    std::lock_guard lock(mutex_);
    return step();
  }
  // Only inside exclusive(): files removed when a signal ends the process.
  void add_temporary(const std::filesystem::path& path) { temporaries_.insert(path.native()); }
  void drop_temporary(const std::filesystem::path& path) { temporaries_.erase(path.native()); }
  // Only inside exclusive(): folders this run creates, deepest first, removed
  // (when empty) after the temporaries when a signal ends the process.
  void add_created_folders(const std::vector<std::filesystem::path>& folders) {
    for (const auto& folder : folders) created_folders_.push_back(folder.native());
  }
  void drop_created_folders() { created_folders_.clear(); }

  // Called on a signal before the process ends; must only write to descriptors.
  void on_signal(std::function<void()> tidy);

 private:
  void watch();

  std::mutex mutex_;
  // By name, so that dropping one costs the same however many are staged (a
  // report folder stages one per page: tens of thousands).
  std::unordered_set<std::string> temporaries_;
  std::vector<std::string> created_folders_;
  std::function<void()> tidy_;
  int signal_fd_ = -1;
  int stop_fd_ = -1;
  std::thread watcher_;
};

}  // namespace vt::cli
