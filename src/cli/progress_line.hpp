// The progress line a person sees on a terminal during a long run: files and
// bytes read so far (of the input's total once a side walk has measured it),
// the read rate and the time taken. Redrawn at most ten times a second from
// its own thread and erased when the run ends.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/read_progress.hpp"

namespace vt::cli {

class ProgressLine {
 public:
  // Draws on descriptor `fd` (a terminal); a single input is measured in the
  // background, following links below it only when `follow_symlinks` is set
  // (the total of several stays unknown).
  ProgressLine(int fd, std::vector<std::string> inputs, bool follow_symlinks);
  ~ProgressLine();  // as finish()
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  ReadProgress& counters() { return counters_; }
  // From now on the line says the output is being written.
  void writing() { writing_.store(true); }
  // Stops drawing and erases the line; later calls do nothing.
  void finish();
  // Erases the line at once (from a signal's tidy-up; writes only).
  void erase();

 private:
  void draw_loop();
  void measure(const std::string& input, bool follow_symlinks);
  std::string text() const;

  int fd_;
  ReadProgress counters_;
  std::atomic<std::uint64_t> total_files_{0};
  std::atomic<std::uint64_t> total_bytes_{0};
  std::atomic<bool> total_known_{false};
  std::atomic<bool> writing_{false};
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::mutex mutex_;  // one writer of the line at a time
  std::condition_variable wake_;
  bool stop_ = false;
  bool drawn_ = false;
  bool finished_ = false;  // touched by the owning thread only
  std::atomic<bool> measuring_stopped_{false};
  std::thread measurer_;
  std::thread drawer_;
};

// "12.3 MB" (decimal units, one decimal).
std::string byte_text(std::uint64_t bytes);

}  // namespace vt::cli
