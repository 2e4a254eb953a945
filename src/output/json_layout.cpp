#include "output/json_layout.hpp"

#include <charconv>
#include <cstring>

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
  ++open_;
  members_ &= ~(std::uint64_t{1} << ((open_ - 1) % kMaxDepth));
}

void JsonLayout::close(char bracket) {
  const bool had_members = (members_ >> ((open_ - 1) % kMaxDepth)) & 1;
  --open_;
  if (pretty_ && had_members) put_line_break(out_, depth());
  out_.push_back(bracket);
}

void JsonLayout::separator() {
  if (take_first_member()) out_.push_back(',');
  if (pretty_) put_line_break(out_, depth());
}

void JsonLayout::key_slow(std::string_view name) {
  if (!pretty_) {
    if (take_first_member()) out_.push_back(',');
    out_.push_back('"');
    out_.append(name);
    out_.append("\":", 2);
    return;
  }
  separator();
  out_.push_back('"');
  out_.append(name);
  out_.append("\": ", 3);
}

void JsonLayout::element() { separator(); }

void JsonLayout::string(std::string_view text) { put_json_string(out_, text); }

void JsonLayout::string(const SharedString& text) {
  if (text.size() < kRepeatedMinSize || !text.is_shared()) return put_json_string(out_, text);
  // An event holds a handful of shared texts: every slot is looked at, and a
  // new text takes the slot after the one taken last.
  for (const RepeatedString& slot : repeated_strings_) {
    if (slot.text.shares(text)) return out_.append(slot.rendered);
  }
  RepeatedString& slot = repeated_strings_[next_repeated_];
  next_repeated_ = (next_repeated_ + 1) % kRepeatedSlots;
  slot.rendered.clear();
  put_json_string(slot.rendered, text);
  slot.text = text;
  out_.append(slot.rendered);
}

void JsonLayout::string(const OptionalShared& text) {
  if (text) {
    string(*text);
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

void JsonLayout::uint(std::uint64_t value) {
  // Digits straight into the buffer where it has room for the longest.
  constexpr std::size_t kMaxDigits = 20;
  if (char* at = out_.room(kMaxDigits)) {
    out_.advance(static_cast<std::size_t>(std::to_chars(at, at + kMaxDigits, value).ptr - at));
    return;
  }
  put_uint(out_, value);
}

void JsonLayout::uint(const std::optional<std::uint64_t>& value) {
  if (value) {
    uint(*value);
  } else {
    null();
  }
}

void JsonLayout::integer(const std::optional<std::int64_t>& value) {
  if (!value) return null();
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, *value).ptr;
  out_.append(digits, static_cast<std::size_t>(end - digits));
}

void JsonLayout::number(const std::optional<double>& value) {
  if (!value) return null();
  std::string text;
  append_float_text(text, *value);
  out_.append(text);
}

void JsonLayout::boolean(const std::optional<bool>& value) {
  if (!value) return null();
  if (*value) {
    out_.append("true", 4);
  } else {
    out_.append("false", 5);
  }
}

void JsonLayout::timestamp(const std::optional<Instant>& instant) {
  if (!instant) return null();
  char text[Instant::kMaxText + 2];
  text[0] = '"';
  std::size_t size = 0;
  const std::int64_t second = instant->unix_seconds();
  if (second_size_ == 0 || second != second_) {
    // The same instant at the start of its second: its text, no fraction.
    const std::optional<Instant> whole = Instant::from_unix(second);
    second_size_ = whole ? whole->write_text(second_text_, "") : 0;
    second_ = second;
  }
  // A leap second (nanos past a second) is written whole: its text is not its second's.
  if (instant->nanos() < 1'000'000'000 && second_size_ != 0) {
    std::memcpy(text + 1, second_text_, second_size_);
    size = second_size_ + Instant::write_fraction(text + 1 + second_size_, instant->nanos(), "Z");
  } else {
    size = instant->write_text(text + 1, "Z");
  }
  text[size + 1] = '"';
  out_.append(text, size + 2);
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

}  // namespace vt
