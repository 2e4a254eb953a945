// RawTimestamp's two forms: a short text inside, anything else on the heap.
#include "core/raw_timestamp.hpp"

#include <cstring>
#include <utility>

namespace vt {

RawTimestamp RawTimestamp::text(std::string_view text) {
  RawTimestamp raw;
  if (text.size() <= kInline) {
    std::memcpy(raw.bytes_, text.data(), text.size());
    raw.size_ = static_cast<std::uint8_t>(text.size());
    raw.form_ = Form::Inline;
  } else {
    raw.hold(new nlohmann::json(std::string(text)));
  }
  return raw;
}

void RawTimestamp::reset() {
  if (form_ == Form::Held) delete pointer();
  form_ = Form::None;
  size_ = 0;
}

std::optional<std::string_view> RawTimestamp::string() const {
  if (form_ == Form::Inline) return std::string_view(bytes_, size_);
  if (form_ == Form::Held && pointer()->is_string()) return std::string_view(pointer()->get_ref<const std::string&>());
  return std::nullopt;
}

nlohmann::json RawTimestamp::value() const {
  if (form_ == Form::Inline) return nlohmann::json(std::string(bytes_, size_));
  if (form_ == Form::Held) return *pointer();
  return nlohmann::json();
}

void RawTimestamp::assign(const nlohmann::json& value) {
  if (value.is_string() && value.get_ref<const std::string&>().size() <= kInline) {
    *this = text(value.get_ref<const std::string&>());
  } else {
    hold(new nlohmann::json(value));
  }
}

void RawTimestamp::assign(nlohmann::json&& value) {
  if (value.is_string() && value.get_ref<const std::string&>().size() <= kInline) {
    *this = text(value.get_ref<const std::string&>());
  } else {
    hold(new nlohmann::json(std::move(value)));
  }
}

void RawTimestamp::copy_from(const RawTimestamp& other) {
  if (other.form_ == Form::Held) {
    hold(new nlohmann::json(*other.pointer()));
  } else {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    size_ = other.size_;
    form_ = other.form_;
  }
}

}  // namespace vt
