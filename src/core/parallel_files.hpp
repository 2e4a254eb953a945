// Reading the files of one run on several threads: every file is read whole
// by one thread, at most `threads` at a time, and each result lands in the
// slot of its file so that the caller joins them in the order of the list,
// exactly as a serial loop would have produced them.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace vt {

// Calls `task(i)` once for each i in [0, count) on up to `threads` threads
// (the calling thread among them; 1 or fewer runs them in order, here).
// When `task(i)` returns false, indices above i that have not started yet
// are left out: their results can no longer count. An exception thrown by a
// task reaches the caller after every thread has stopped.
void for_each_index(std::size_t count, unsigned threads, const std::function<bool(std::size_t)>& task);

// The result of `read(i)` for each index, in index order. An index left out
// after a result that `ends_reading` accepts stays empty; the caller stops
// joining at that result anyway.
template <class R, class Read, class Ends>
std::vector<std::optional<R>> read_each(std::size_t count, unsigned threads, Read&& read, Ends&& ends_reading) {
  std::vector<std::optional<R>> results(count);
  for_each_index(count, threads, [&](std::size_t i) {
    results[i].emplace(read(i));
    return !ends_reading(*results[i]);
  });
  return results;
}

template <class R, class Read>
std::vector<std::optional<R>> read_each(std::size_t count, unsigned threads, Read&& read) {
  return read_each<R>(count, threads, std::forward<Read>(read), [](const R&) { return false; });
}

// The thread count a setting asks for: a positive whole number as given,
// anything else (absent, empty, zero, not a number) the number of cores.
unsigned thread_count_from(const char* setting);

}  // namespace vt
