// RawTimestamp: an event's timestamp as its record wrote it (`timestamp_raw`).
// Nearly always a short JSON string, kept inside the event itself (no
// allocation, nothing to free); any other value (a number, a longer text, an
// object) is held on the heap as a JSON value. Readers set it from a JSON
// value or a text; renderings ask for the text first (`string()`) and fall
// back to the held value (`held()`), so both forms render alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vt {

class RawTimestamp {
 public:
  // Texts up to this many bytes are kept inside.
  static constexpr std::size_t kInline = 30;

  RawTimestamp() = default;
  RawTimestamp(std::nullopt_t) {}
  RawTimestamp(const nlohmann::json& value) { assign(value); }
  RawTimestamp(nlohmann::json&& value) { assign(std::move(value)); }
  RawTimestamp(const std::optional<nlohmann::json>& value) {
    if (value) assign(*value);
  }
  // A JSON string value, given by its text.
  static RawTimestamp text(std::string_view text);

  RawTimestamp(const RawTimestamp& other) { copy_from(other); }
  RawTimestamp(RawTimestamp&& other) noexcept : size_(other.size_), form_(other.form_) {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    other.form_ = Form::None;
  }
  RawTimestamp& operator=(const RawTimestamp& other) {
    if (this != &other) {
      reset();
      copy_from(other);
    }
    return *this;
  }
  RawTimestamp& operator=(RawTimestamp&& other) noexcept {
    if (this != &other) {
      reset();
      std::memcpy(bytes_, other.bytes_, sizeof bytes_);
      size_ = other.size_;
      form_ = other.form_;
      other.form_ = Form::None;
    }
    return *this;
  }
  RawTimestamp& operator=(std::nullopt_t) {
    reset();
    return *this;
  }
  ~RawTimestamp() { reset(); }

  void reset();
  bool has_value() const { return form_ != Form::None; }
  explicit operator bool() const { return has_value(); }
  // The text when the value is a JSON string.
  std::optional<std::string_view> string() const;
  // The value when it is held on the heap (anything but a short text).
  const nlohmann::json* held() const { return form_ == Form::Held ? pointer() : nullptr; }
  // The value as a JSON value (built when kept inside); null when absent.
  nlohmann::json value() const;

  friend bool operator==(const RawTimestamp& a, const RawTimestamp& b) { return a.value() == b.value(); }

 private:
  enum class Form : std::uint8_t { None, Inline, Held };

  void assign(const nlohmann::json& value);
  void assign(nlohmann::json&& value);
  void copy_from(const RawTimestamp& other);
  // The held value's address, kept in the text's bytes (unaligned, so the
  // whole takes 32 bytes).
  nlohmann::json* pointer() const {
    nlohmann::json* held;
    std::memcpy(&held, bytes_, sizeof held);
    return held;
  }
  void hold(nlohmann::json* held) {
    std::memcpy(bytes_, &held, sizeof held);
    form_ = Form::Held;
  }

  // The text (inside), or the held value's address.
  char bytes_[kInline] = {};
  std::uint8_t size_ = 0;
  Form form_ = Form::None;
};

}  // namespace vt
