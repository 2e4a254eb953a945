// The text of an event identifier (64 lowercase hex digits) kept inside the
// event itself: no allocation per event, and reads look like a string view's.
#pragma once

#include <algorithm>
#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

class EventIdText {
 public:
  static constexpr std::size_t kCapacity = 64;

  EventIdText() = default;
  // Identifiers are never longer than kCapacity; a longer text keeps its
  // first kCapacity bytes.
  EventIdText(std::string_view text) { assign(text); }
  EventIdText(const std::string& text) { assign(text); }
  EventIdText(const char* text) { assign(text); }
  EventIdText& operator=(std::string_view text) {
    assign(text);
    return *this;
  }
  EventIdText& operator=(const std::string& text) { return *this = std::string_view(text); }
  EventIdText& operator=(const char* text) { return *this = std::string_view(text); }

  std::string_view view() const { return {bytes_.data(), size_}; }
  operator std::string_view() const { return view(); }
  std::string str() const { return std::string(view()); }
  const char* data() const { return bytes_.data(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  int compare(const EventIdText& other) const { return view().compare(other.view()); }
  // Room for a text of `size` bytes (at most kCapacity), to be written by the
  // caller in place.
  char* overwrite(std::size_t size) {
    size_ = static_cast<std::uint8_t>(std::min(size, kCapacity));
    return bytes_.data();
  }

  friend bool operator==(const EventIdText& a, const EventIdText& b) { return a.view() == b.view(); }
  friend bool operator==(const EventIdText& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const EventIdText& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const EventIdText& a, const char* b) { return a.view() == b; }
  friend std::strong_ordering operator<=>(const EventIdText& a, const EventIdText& b) {
    return a.view().compare(b.view()) <=> 0;
  }

 private:
  void assign(std::string_view text) {
    size_ = static_cast<std::uint8_t>(std::min(text.size(), kCapacity));
    std::copy_n(text.data(), size_, bytes_.data());
  }

  std::array<char, kCapacity> bytes_{};
  std::uint8_t size_ = 0;
};

}  // namespace vt
