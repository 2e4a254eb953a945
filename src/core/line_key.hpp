// The source key of a record known by its line (`<prefix><line>`, as
// "codex_session:12"), made in a buffer of its own instead of a heap string:
// readers make one per record and hand it on as a view while the record is
// handled.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vt {

class LineKey {
 public:
  // Prefixes are a reader's own short words; a longer one is cut to fit.
  static constexpr std::size_t kMaxPrefix = 40;

  LineKey(std::string_view prefix, std::uint64_t line) {
    const std::size_t kept = prefix.size() < kMaxPrefix ? prefix.size() : kMaxPrefix;
    std::memcpy(text_, prefix.data(), kept);
    size_ = static_cast<std::size_t>(std::to_chars(text_ + kept, text_ + sizeof text_, line).ptr - text_);
  }
  LineKey(const LineKey&) = delete;
  LineKey& operator=(const LineKey&) = delete;

  std::string_view view() const { return {text_, size_}; }
  operator std::string_view() const { return view(); }

 private:
  char text_[kMaxPrefix + 20];  // 20: the digits of the largest line number
  std::size_t size_ = 0;
};

}  // namespace vt
