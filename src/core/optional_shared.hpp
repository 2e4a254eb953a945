// OptionalShared: an optional shared string in one pointer (std::optional
// would add a flag and padding to every record). Reads and writes look like
// std::optional<SharedString>'s; an absent value orders before any text.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/shared_string.hpp"

namespace vt {

class OptionalShared {
 public:
  OptionalShared() = default;
  OptionalShared(std::nullopt_t) {}
  OptionalShared(SharedString text) : value_(engaged(std::move(text))) {}
  OptionalShared(std::string text) : value_(std::move(text)) {}
  OptionalShared(std::string_view text) : value_(text) {}
  OptionalShared(const char* text) : value_(text) {}
  OptionalShared(const std::optional<std::string>& text) {
    if (text) value_ = SharedString(*text);
  }
  OptionalShared(std::optional<std::string>&& text) {
    if (text) value_ = SharedString(std::move(*text));
  }
  OptionalShared(const std::optional<SharedString>& text) {
    if (text) value_ = engaged(*text);
  }

  OptionalShared& operator=(std::nullopt_t) {
    reset();
    return *this;
  }
  void reset() { value_ = SharedString(); }

  bool has_value() const { return !value_.is_null(); }
  explicit operator bool() const { return has_value(); }
  const SharedString& operator*() const { return value_; }
  const SharedString* operator->() const { return &value_; }
  const SharedString& value() const { return value_; }
  std::string value_or(std::string_view fallback) const {
    return has_value() ? value_.str() : std::string(fallback);
  }

  friend bool operator==(const OptionalShared& a, const OptionalShared& b) {
    return a.has_value() == b.has_value() && (!a.has_value() || a.value_ == b.value_);
  }
  friend bool operator==(const OptionalShared& a, std::nullopt_t) { return !a.has_value(); }
  friend bool operator==(const OptionalShared& a, std::string_view b) {
    return a.has_value() && a.value_ == b;
  }
  friend std::strong_ordering operator<=>(const OptionalShared& a, const OptionalShared& b) {
    if (a.has_value() != b.has_value()) return a.has_value() <=> b.has_value();
    return a.has_value() ? a.value_ <=> b.value_ : std::strong_ordering::equal;
  }

 private:
  // A default SharedString reads as "" but holds nothing; a present value
  // always holds its text.
  static SharedString engaged(SharedString text) {
    return text.is_null() ? SharedString(std::string()) : std::move(text);
  }

  SharedString value_;
};

}  // namespace vt
