// An optional value kept on the heap: one pointer in the record when absent,
// the value's own size only when present. For the rarely-set parts of an
// event; reads and writes look like std::optional's.
#pragma once

#include <memory>
#include <optional>
#include <utility>

namespace vt {

template <class T>
class Boxed {
 public:
  Boxed() = default;
  Boxed(std::nullopt_t) {}
  Boxed(const T& value) : value_(std::make_unique<T>(value)) {}
  Boxed(T&& value) : value_(std::make_unique<T>(std::move(value))) {}
  Boxed(const std::optional<T>& value) {
    if (value) value_ = std::make_unique<T>(*value);
  }
  Boxed(std::optional<T>&& value) {
    if (value) value_ = std::make_unique<T>(std::move(*value));
  }
  Boxed(const Boxed& other) : value_(other.value_ ? std::make_unique<T>(*other.value_) : nullptr) {}
  Boxed(Boxed&&) noexcept = default;
  Boxed& operator=(const Boxed& other) {
    if (this != &other) value_ = other.value_ ? std::make_unique<T>(*other.value_) : nullptr;
    return *this;
  }
  Boxed& operator=(Boxed&&) noexcept = default;
  Boxed& operator=(std::nullopt_t) {
    value_.reset();
    return *this;
  }
  ~Boxed() = default;

  template <class... Args>
  T& emplace(Args&&... args) {
    value_ = std::make_unique<T>(std::forward<Args>(args)...);
    return *value_;
  }
  void reset() { value_.reset(); }

  bool has_value() const { return value_ != nullptr; }
  explicit operator bool() const { return value_ != nullptr; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return value_.get(); }
  const T* operator->() const { return value_.get(); }
  const T& value() const { return *value_; }
  T& value() { return *value_; }

  friend bool operator==(const Boxed& a, const Boxed& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a.has_value() || *a == *b;
  }
  friend bool operator==(const Boxed& a, std::nullopt_t) { return !a.has_value(); }

 private:
  std::unique_ptr<T> value_;
};

}  // namespace vt
