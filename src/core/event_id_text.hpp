// The text of an event identifier (64 lowercase hex digits) kept inside the
// event itself: no allocation per event, and reads look like a string view's.
// Until its maker computes it (identifiers made in batches), the text is a
// placeholder holding a ticket; reading one is a fault, which debug and
// sanitizer builds stop on (others read it as empty).
#pragma once

#include <algorithm>
#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
#define VT_CHECK_EVENT_IDS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VT_CHECK_EVENT_IDS 1
#endif
#endif

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

  // A placeholder for the identifier its maker computes later under `ticket`.
  static EventIdText placeholder(std::uint32_t ticket) {
    EventIdText text;
    text.size_ = kPlaceholder;
    std::memcpy(text.bytes_.data(), &ticket, sizeof ticket);
    return text;
  }
  bool is_placeholder() const { return size_ == kPlaceholder; }
  std::uint32_t ticket() const {
    std::uint32_t ticket = 0;
    std::memcpy(&ticket, bytes_.data(), sizeof ticket);
    return ticket;
  }

  std::string_view view() const { return {data(), size()}; }
  operator std::string_view() const { return view(); }
  std::string str() const { return std::string(view()); }
  const char* data() const {
    check_filled();
    return bytes_.data();
  }
  std::size_t size() const {
    check_filled();
    return size_ & kSizeBits;
  }
  bool empty() const { return size() == 0; }
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

  static constexpr std::uint8_t kPlaceholder = 0x80;  // no text size has this bit
  static constexpr std::uint8_t kSizeBits = 0x7F;

  void check_filled() const {
#ifdef VT_CHECK_EVENT_IDS
    if (size_ == kPlaceholder) {
      std::fputs("vellumtrace: an event identifier was read before it was computed\n", stderr);
      std::abort();
    }
#endif
  }

  std::array<char, kCapacity> bytes_{};
  std::uint8_t size_ = 0;
};

}  // namespace vt
