// An immutable value shared by every record that carries it: one record of
// an input can give many events (a transcript line of 8,000 content blocks
// gives 8,000), and each keeps the record's raw value; they all point at one
// copy, so memory stays linear in the input. Reads look like a const
// std::optional's; the count is atomic, so records may move between threads.
#pragma once

#include <memory>
#include <optional>
#include <utility>

namespace vt {

template <class T>
class SharedValue {
 public:
  SharedValue() = default;
  SharedValue(std::nullopt_t) {}
  SharedValue(T&& value) : value_(std::make_shared<const T>(std::move(value))) {}
  SharedValue(const T& value) : value_(std::make_shared<const T>(value)) {}
  SharedValue(std::optional<T>&& value) {
    if (value) value_ = std::make_shared<const T>(std::move(*value));
  }
  SharedValue& operator=(std::nullopt_t) {
    value_.reset();
    return *this;
  }
  void reset() { value_.reset(); }

  bool has_value() const { return value_ != nullptr; }
  explicit operator bool() const { return value_ != nullptr; }
  const T& operator*() const { return *value_; }
  const T* operator->() const { return value_.get(); }
  const T& value() const { return *value_; }
  // Whether two holders share one copy (not merely equal values), and
  // whether any other holder shares this one's.
  bool shares(const SharedValue& other) const { return value_ == other.value_; }
  bool is_shared() const { return value_.use_count() > 1; }

  friend bool operator==(const SharedValue& a, const SharedValue& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a.has_value() || a.value_ == b.value_ || *a == *b;
  }
  friend bool operator==(const SharedValue& a, std::nullopt_t) { return !a.has_value(); }

 private:
  std::shared_ptr<const T> value_;
};

}  // namespace vt
