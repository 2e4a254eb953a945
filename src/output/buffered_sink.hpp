// The 8192-byte write buffer that sits in front of a byte sink, so that the
// many small pieces of a rendering reach a file in few writes. The first
// failure is kept and silences everything after it, so a writer can check
// once per step which step failed.
//
// The buffer is passed on only when full and more bytes follow (a large piece
// goes on directly in whole buffers), so the sink sees writes that start and
// end at the same multiples of 8192 however the bytes were cut into pieces,
// each made during the call that brings the byte after its end. Two writers
// that hand over the same bytes in different pieces therefore fail at the
// same step.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <system_error>

#include "output/sink.hpp"

namespace vt {

class BufferedSink {
 public:
  static constexpr std::size_t kCapacity = 8192;

  explicit BufferedSink(ByteSink& sink) : sink_(sink) {}
  BufferedSink(const BufferedSink&) = delete;
  BufferedSink& operator=(const BufferedSink&) = delete;

  // The same two spellings std::string offers, so text renderers can target
  // either. Both do nothing once a failure has happened.
  void append(const char* data, std::size_t size) {
    if (size <= kCapacity - used_ && !failed_) {
      std::memcpy(buffer_.data() + used_, data, size);
      used_ += size;
    } else {
      append_slow(data, size);
    }
  }
  void append(std::string_view text) { append(text.data(), text.size()); }
  void push_back(char c) {
    if (used_ < kCapacity && !failed_) {
      buffer_[used_++] = c;
    } else {
      append_slow(&c, 1);
    }
  }

  // For renderers that write small pieces in place: the free bytes of the
  // buffer when at least `size` remain (and nothing failed), else null; then
  // `advance` by what was written. The same bytes through `append` give the
  // same writes to the sink.
  char* room(std::size_t size) {
    return size <= kCapacity - used_ && !failed_ ? buffer_.data() + used_ : nullptr;
  }
  void advance(std::size_t size) { used_ += size; }

  bool failed() const { return failed_; }
  const std::error_code& error() const { return error_; }

  // Passes everything held on to the sink and flushes it.
  std::expected<void, std::error_code> finish();
  // After a failure: passes what is still held on once more, ignoring the
  // outcome, so the sink keeps as much as it will take.
  void abandon();

 private:
  bool spill();
  void append_slow(const char* data, std::size_t size);

  ByteSink& sink_;
  std::array<char, kCapacity> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
  std::error_code error_;
};

}  // namespace vt
