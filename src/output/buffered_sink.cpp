#include "output/buffered_sink.hpp"

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
  if (failed_) return;
  if (size <= kCapacity - used_) {
    std::memcpy(buffer_.data() + used_, data, size);
    used_ += size;
    return;
  }
  if (!spill()) return;
  if (size >= kCapacity) {
    // Too large to batch: hand it over directly, in order after the spill.
    std::size_t accepted = 0;
    auto written = sink_.write_counted(data, size, accepted);
    if (!written) {
      failed_ = true;
      error_ = written.error();
    }
    return;
  }
  std::memcpy(buffer_.data(), data, size);
  used_ = size;
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
