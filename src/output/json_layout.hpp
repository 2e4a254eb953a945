// Layout of the fixed-shape objects of a rendering (document, events,
// diagnostics): separators, two-space pretty indentation, "{}"/"[]" for empty
// containers, written straight into the output buffer as members come. The
// compact layout writes each member's separator and key in one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/records.hpp"
#include "output/buffered_sink.hpp"

namespace vt {

class JsonLayout {
 public:
  // `depth` is the indentation level of the line the first value starts on.
  JsonLayout(BufferedSink& out, bool pretty, std::size_t depth = 0)
      : out_(out), pretty_(pretty), base_depth_(depth) {}

  // Containers nest at most kMaxDepth deep (the records nest four deep).
  static constexpr std::size_t kMaxDepth = 64;

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }

  // Member names and words up to this long take the inline compact path.
  static constexpr std::size_t kShortText = 32;

  // Starts the next member of the current object (separator, line, key).
  // Member names are this program's own plain ASCII words: nothing to
  // escape. The compact layout writes `,"name":` in one piece, inline, so a
  // name known where it is called is copied as a constant.
  [[gnu::always_inline]] void key(std::string_view name) {
    if (!pretty_ && name.size() <= kShortText) {
      if (char* at = out_.room(kShortText + 4)) {
        const std::size_t comma = take_first_member() ? 1 : 0;
        at[0] = ',';
        at[comma] = '"';
        std::memcpy(at + comma + 1, name.data(), name.size());
        at[comma + 1 + name.size()] = '"';
        at[comma + 2 + name.size()] = ':';
        out_.advance(name.size() + 3 + comma);
        return;
      }
    }
    key_slow(name);
  }
  // Starts the next element of the current array.
  void element();

  // Whether members are laid out on one line.
  bool compact() const { return !pretty_; }
  // Members already laid out compactly, each with its leading comma
  // (`,"a":null,"b":null`): written as they are, but for the comma when they
  // open the object. Only for the compact layout.
  void compact_members(std::string_view text) {
    if (text.empty()) return;
    if (take_first_member()) {
      out_.append(text);
    } else {
      out_.append(text.substr(1));
    }
  }

  void string(std::string_view text);
  void string(const std::string& text) { string(std::string_view(text)); }
  void string(const std::optional<std::string>& text);
  // A text several events share (a file's path and digest, a session, a
  // working directory, the input) is escaped once and its text repeated
  // while the same shared copy comes again.
  void string(const SharedString& text);
  void string(const OptionalShared& text);
  void uint(std::uint64_t value);
  void uint(const std::optional<std::uint64_t>& value);
  void integer(const std::optional<std::int64_t>& value);
  void number(const std::optional<double>& value);  // shortest text that reads back, ".0" on whole values
  void boolean(const std::optional<bool>& value);
  void timestamp(const std::optional<Instant>& instant);
  void json(const std::optional<Json>& value) { json(value ? &*value : nullptr); }
  // A raw timestamp: its text as a JSON string, else its held value.
  void json(const RawTimestamp& value) {
    if (const auto text = value.string()) return string(*text);
    json(value.held());
  }
  // A value several events share (the raw record of a transcript line) is
  // rendered once and its text repeated while the same value comes again.
  void json(const SharedValue<Json>& value);
  void json(const Json* value);  // null when absent
  void null() { out_.append("null", 4); }
  // A text of this program's own that needs no escaping (the wire names of
  // its enumerations, the schema version: plain ASCII words), quoted,
  // without the scan a string gets.
  void word(std::string_view text) {
    if (text.size() <= kShortText) {
      if (char* at = out_.room(kShortText + 2)) {
        at[0] = '"';
        std::memcpy(at + 1, text.data(), text.size());
        at[text.size() + 1] = '"';
        out_.advance(text.size() + 2);
        return;
      }
    }
    string(text);
  }

  // Starts a member whose value is the string wire name (enumerations).
  template <class Enum>
  void wire(std::string_view name, Enum value) {
    key(name);
    word(wire_name(value));
  }

 private:
  void open(char bracket);
  void close(char bracket);
  void separator();
  void key_slow(std::string_view name);
  // Whether the innermost open container has a member yet, and marks it so.
  bool take_first_member() {
    const std::uint64_t bit = std::uint64_t{1} << ((open_ - 1) % kMaxDepth);
    const bool had = (members_ & bit) != 0;
    members_ |= bit;
    return had;
  }
  std::size_t depth() const { return base_depth_ + open_; }

  BufferedSink& out_;
  bool pretty_;
  std::size_t base_depth_;
  // Open containers, and per open container (bit depth - 1): has it a member
  // yet. Back to none after each complete top-level value, so one layout can
  // write any number of them.
  std::size_t open_ = 0;
  std::uint64_t members_ = 0;
  // Shared texts lately rendered (known by their copy), and their escaped
  // text. Each slot holds its text, so no other text takes its copy's place.
  struct RepeatedString {
    SharedString text;
    std::string rendered;
  };
  static constexpr std::size_t kRepeatedSlots = 8;
  static constexpr std::size_t kRepeatedMinSize = 16;
  std::array<RepeatedString, kRepeatedSlots> repeated_strings_;
  std::size_t next_repeated_ = 0;
  // The last shared value rendered, at which depth, and its text.
  SharedValue<Json> repeated_;
  std::size_t repeated_depth_ = 0;
  std::string repeated_text_;
  // The text up to the seconds of the last whole second a timestamp was
  // written in (consecutive events mostly share it); no size: none yet.
  std::int64_t second_ = 0;
  std::size_t second_size_ = 0;
  char second_text_[Instant::kMaxText];
};

}  // namespace vt
