// Layout of the fixed-shape objects of a rendering (document, events,
// diagnostics): separators, two-space pretty indentation, "{}"/"[]" for empty
// containers, written straight into the output buffer as members come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.hpp"
#include "output/buffered_sink.hpp"

namespace vt {

class JsonLayout {
 public:
  // `depth` is the indentation level of the line the first value starts on.
  JsonLayout(BufferedSink& out, bool pretty, std::size_t depth = 0)
      : out_(out), pretty_(pretty), base_depth_(depth) {}

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }

  // Starts the next member of the current object (separator, line, key).
  void key(std::string_view name);
  // Starts the next element of the current array.
  void element();

  void string(std::string_view text);
  void string(const std::string& text) { string(std::string_view(text)); }
  void string(const std::optional<std::string>& text);
  void string(const SharedString& text) { string(std::string_view(text)); }
  void string(const OptionalShared& text);
  void uint(std::uint64_t value);
  void uint(const std::optional<std::uint64_t>& value);
  void timestamp(const std::optional<Instant>& instant);
  void json(const std::optional<Json>& value) { json(value ? &*value : nullptr); }
  // A value several events share (the raw record of a transcript line) is
  // rendered once and its text repeated while the same value comes again.
  void json(const SharedValue<Json>& value);
  void json(const Json* value);  // null when absent
  void null();

  // Starts a member whose value is the string wire name (enumerations).
  template <class Enum>
  void wire(std::string_view name, Enum value) {
    key(name);
    string(wire_name(value));
  }

 private:
  void open(char bracket);
  void close(char bracket);
  void separator();
  std::size_t depth() const { return base_depth_ + open_.size(); }

  BufferedSink& out_;
  bool pretty_;
  std::size_t base_depth_;
  // Per open container: has it a member yet. Empty again after each complete
  // top-level value, so one layout can write any number of them.
  std::vector<bool> open_;
  // The last shared value rendered, at which depth, and its text.
  SharedValue<Json> repeated_;
  std::size_t repeated_depth_ = 0;
  std::string repeated_text_;
};

}  // namespace vt
