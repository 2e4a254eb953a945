// The concurrent per-file reading: that work really runs at once, that each
// index is read once, that a result ending the reading keeps later files
// from being started, that a task's exception reaches the caller, and how
// a thread-count setting is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "core/parallel_files.hpp"

namespace vt {
namespace {

TEST(ParallelFiles, TasksRunAtTheSameTime) {
  // Each of the first four tasks waits until all four have started: only
  // possible when four threads run them at once.
  std::mutex mutex;
  std::condition_variable all_in;
  int started = 0;
  bool met = true;
  auto results = read_each<int>(8, 4, [&](std::size_t i) {
    if (i < 4) {
      std::unique_lock<std::mutex> hold(mutex);
      ++started;
      all_in.notify_all();
      met = all_in.wait_for(hold, std::chrono::seconds(20), [&] { return started >= 4; }) && met;
    }
    return static_cast<int>(i * i);
  });
  EXPECT_TRUE(met);
  for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i], static_cast<int>(i * i));
}

TEST(ParallelFiles, EveryIndexOnceWhateverTheThreadCount) {
  for (unsigned threads : {0u, 1u, 2u, 3u, 7u, 64u}) {
    std::vector<std::atomic<int>> calls(100);
    for_each_index(calls.size(), threads, [&](std::size_t i) {
      calls[i].fetch_add(1);
      return true;
    });
    for (const auto& c : calls) EXPECT_EQ(c.load(), 1) << threads;
  }
}

TEST(ParallelFiles, AnEndingResultStopsLaterIndices) {
  for (unsigned threads : {1u, 2u, 4u}) {
    // Index 3 ends the reading; later tasks hold back until it has and a
    // while longer, so that only those already taken (one per thread) run.
    std::atomic<bool> ended{false};
    std::vector<std::atomic<int>> calls(200);
    auto results = read_each<bool>(
        calls.size(), threads,
        [&](std::size_t i) {
          calls[i].fetch_add(1);
          if (i == 3) {
            ended = true;
            return true;
          }
          if (i > 3) {
            while (!ended) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
          }
          return false;
        },
        [](bool ends) { return ends; });
    for (std::size_t i = 0; i <= 3; ++i) EXPECT_TRUE(results[i].has_value()) << threads;
    EXPECT_EQ(*results[3], true);
    std::size_t read_after = 0;
    for (std::size_t i = 4; i < calls.size(); ++i) read_after += calls[i].load();
    EXPECT_LE(read_after, threads) << threads;
  }
}

TEST(ParallelFiles, ATaskExceptionReachesTheCaller) {
  for (unsigned threads : {1u, 4u}) {
    EXPECT_THROW(for_each_index(50, threads,
                                [](std::size_t i) -> bool {
                                  if (i == 17) throw std::runtime_error("boom");
                                  return true;
                                }),
                 std::runtime_error);
  }
}

TEST(ParallelFiles, ThreadCountSetting) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::pair<const char*, unsigned> cases[] = {
      {"1", 1}, {"4", 4}, {"12", 12}, {"100000", 256}, {nullptr, cores}, {"", cores},
      {"0", cores}, {"-2", cores}, {"two", cores}, {"3x", cores}, {" 3", cores},
      {"99999999999999999999", cores}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(thread_count_from(text), expected) << (text ? text : "null");
}

}  // namespace
}  // namespace vt
