#include "output/json_layout.hpp"

#include "output/json_text.hpp"

namespace vt {

namespace {
constexpr std::string_view kIndent = "                                                                ";

void put_line_break(BufferedSink& out, std::size_t depth) {
  out.push_back('\n');
  std::size_t spaces = depth * 2;
  while (spaces > 0) {
    const std::size_t n = spaces < kIndent.size() ? spaces : kIndent.size();
    out.append(kIndent.data(), n);
    spaces -= n;
  }
}
}  // namespace

void JsonLayout::open(char bracket) {
  out_.push_back(bracket);
  open_.push_back(false);
}

void JsonLayout::close(char bracket) {
  const bool had_members = open_.back();
  open_.pop_back();
  if (pretty_ && had_members) put_line_break(out_, depth());
  out_.push_back(bracket);
}

void JsonLayout::separator() {
  if (open_.back()) out_.push_back(',');
  open_.back() = true;
  if (pretty_) put_line_break(out_, depth());
}

void JsonLayout::key(std::string_view name) {
  separator();
  // Member names are this program's own plain ASCII words: nothing to escape.
  out_.push_back('"');
  out_.append(name);
  out_.push_back('"');
  if (pretty_) {
    out_.append(": ", 2);
  } else {
    out_.push_back(':');
  }
}

void JsonLayout::element() { separator(); }

void JsonLayout::string(std::string_view text) { put_json_string(out_, text); }

void JsonLayout::string(const OptionalShared& text) {
  if (text) {
    put_json_string(out_, *text);
  } else {
    null();
  }
}

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

void JsonLayout::json(const Json* value) {
  if (value != nullptr) {
    put_json_value(out_, *value, pretty_, depth());
  } else {
    null();
  }
}

void JsonLayout::json(const SharedValue<Json>& value) {
  if (!value) return null();
  if (!value.is_shared()) return put_json_value(out_, *value, pretty_, depth());
  if (!repeated_.shares(value) || repeated_depth_ != depth()) {
    repeated_text_.clear();
    put_json_value(repeated_text_, *value, pretty_, depth());
    repeated_ = value;
    repeated_depth_ = depth();
  }
  out_.append(repeated_text_);
}

void JsonLayout::null() { out_.append("null", 4); }

}  // namespace vt
