#include "output/json_layout.hpp"

#include "output/json_text.hpp"

namespace vt {

namespace {
constexpr std::string_view kIndent = "                                ";
}  // namespace

void JsonLayout::open(char bracket) {
  out_.push_back(bracket);
  open_.push_back(false);
}

void JsonLayout::close(char bracket) {
  const bool had_members = open_.back();
  open_.pop_back();
  if (pretty_ && had_members) {
    out_.push_back('\n');
    for (std::size_t i = 0; i < depth(); ++i) out_.append(kIndent.substr(0, 2));
  }
  out_.push_back(bracket);
}

void JsonLayout::separator() {
  if (open_.back()) out_.push_back(',');
  open_.back() = true;
  if (pretty_) {
    out_.push_back('\n');
    for (std::size_t i = 0; i < depth(); ++i) out_.append(kIndent.substr(0, 2));
  }
}

void JsonLayout::key(std::string_view name) {
  separator();
  put_json_string(out_, name);
  if (pretty_) {
    out_.append(": ", 2);
  } else {
    out_.push_back(':');
  }
}

void JsonLayout::element() { separator(); }

void JsonLayout::string(std::string_view text) { put_json_string(out_, text); }

void JsonLayout::string(const std::optional<std::string>& text) {
  if (text) {
    put_json_string(out_, *text);
  } else {
    null();
  }
}

void JsonLayout::uint(std::uint64_t value) { put_uint(out_, value); }

void JsonLayout::uint(const std::optional<std::uint64_t>& value) {
  if (value) {
    put_uint(out_, *value);
  } else {
    null();
  }
}

void JsonLayout::timestamp(const std::optional<Instant>& instant) {
  if (instant) {
    out_.push_back('"');
    out_.append(timestamp_text(*instant));
    out_.push_back('"');
  } else {
    null();
  }
}

void JsonLayout::json(const std::optional<Json>& value) {
  if (value) {
    put_json_value(out_, *value, pretty_, depth());
  } else {
    null();
  }
}

void JsonLayout::null() { out_.append("null", 4); }

}  // namespace vt
