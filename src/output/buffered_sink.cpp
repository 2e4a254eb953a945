#include "output/buffered_sink.hpp"

#include <algorithm>
#include <cstring>

namespace vt {

bool BufferedSink::spill() {
  if (used_ == 0) return true;
  std::size_t accepted = 0;
  auto written = sink_.write_counted(buffer_.data(), used_, accepted);
  if (accepted > 0 && accepted < used_) {
    std::memmove(buffer_.data(), buffer_.data() + accepted, used_ - accepted);
  }
  used_ -= accepted < used_ ? accepted : used_;
  if (!written) {
    failed_ = true;
    error_ = written.error();
    return false;
  }
  return true;
}

void BufferedSink::append_slow(const char* data, std::size_t size) {
  while (size > 0 && !failed_) {
    if (used_ == kCapacity && !spill()) return;  // full, and more follows
    if (used_ == 0 && size > kCapacity) {
      // Whole buffers straight from `data`, the last one kept back like a
      // full buffer until more follows.
      const std::size_t direct = (size - 1) / kCapacity * kCapacity;
      std::size_t accepted = 0;
      auto written = sink_.write_counted(data, direct, accepted);
      if (!written) {
        failed_ = true;
        error_ = written.error();
        return;
      }
      data += direct;
      size -= direct;
    }
    const std::size_t take = std::min(size, kCapacity - used_);
    std::memcpy(buffer_.data() + used_, data, take);
    used_ += take;
    data += take;
    size -= take;
  }
}

std::expected<void, std::error_code> BufferedSink::finish() {
  if (failed_) return std::unexpected(error_);
  if (!spill()) return std::unexpected(error_);
  auto flushed = sink_.flush();
  if (!flushed) {
    failed_ = true;
    error_ = flushed.error();
  }
  return flushed;
}

void BufferedSink::abandon() {
  if (used_ == 0) return;
  std::size_t accepted = 0;
  (void)sink_.write_counted(buffer_.data(), used_, accepted);
  used_ = 0;
}

}  // namespace vt
