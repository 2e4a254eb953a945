// An optional observer of how far a run has read: files opened and bytes read
// so far. Readers add to it as they go; whoever set it up may look at it from
// another thread at any time. It holds counters only, no presentation.
#pragma once

#include <atomic>
#include <cstdint>

namespace vt {

struct ReadProgress {
  std::atomic<std::uint64_t> files{0};
  std::atomic<std::uint64_t> bytes{0};
};

// Helpers for the readers: a null observer costs one branch.
inline void note_file_opened(ReadProgress* progress) {
  if (progress != nullptr) progress->files.fetch_add(1, std::memory_order_relaxed);
}
inline void note_bytes_read(ReadProgress* progress, std::uint64_t n) {
  if (progress != nullptr) progress->bytes.fetch_add(n, std::memory_order_relaxed);
}

}  // namespace vt
