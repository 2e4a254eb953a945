// A parsed line as record handlers read it: every value laid out flat in one
// reusable array, strings pointing into the parser's own buffers. Reading a
// line this way allocates nothing; only what a handler keeps (`raw`,
// `timestamp_raw`) is built into a held JSON value, by `held()`.
//
// Values read exactly as the held value would: numbers keep the held kinds
// (a non-negative integer is unsigned), and of repeated keys the last wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "core/records.hpp"

namespace vt {

enum class JsonKind : std::uint8_t { Null, Boolean, Integer, Unsigned, Float, String, Array, Object };

// One value: 40 bytes, since a line of tiny values has one node per two bytes.
// Trivial, so that room for a line's nodes is taken without touching it; every
// field is written when the node is laid out.
struct JsonNode {
  union {
    bool boolean;
    std::int64_t integer;
    std::uint64_t unsigned_value;
    double float_value;
    const char* text;  // a string's first byte
  } number;
  const char* key_data;  // the member name, when this value is an object's member
  std::uint64_t text_size;
  std::uint64_t key_size;
  std::uint32_t end;  // index one past the last node of this value
  JsonKind kind;

  std::string_view text() const { return {number.text, text_size}; }
  std::string_view key() const { return {key_data, key_size}; }
  void set_text(std::string_view s) {
    number.text = s.data();
    text_size = s.size();
  }
  void set_key(std::string_view s) {
    key_data = s.data();
    key_size = s.size();
  }
};

// The nodes of one parsed value, the root first; children follow their
// parent, each member's value carrying its key.
class JsonTape {
 public:
  // Room for `count` nodes written in place from the returned first one;
  // the earlier nodes are dropped. Null when the memory is not there.
  JsonNode* start(std::size_t count);
  // The nodes written since `start`.
  void set_size(std::size_t size) { size_ = size; }
  std::size_t size() const { return size_; }
  const JsonNode* data() const { return nodes_.get(); }
  const JsonNode& operator[](std::size_t index) const { return nodes_[index]; }

  // Lays out a held value (whose strings must outlive the tape's use).
  void assign(const Json& value);

 private:
  std::unique_ptr<JsonNode[]> nodes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

class JsonView {
 public:
  JsonView(const JsonTape& tape, std::uint32_t index) : tape_(&tape), index_(index) {}

  JsonKind kind() const { return node().kind; }
  bool is_null() const { return kind() == JsonKind::Null; }
  bool is_boolean() const { return kind() == JsonKind::Boolean; }
  bool is_number() const {
    return kind() == JsonKind::Integer || kind() == JsonKind::Unsigned || kind() == JsonKind::Float;
  }
  bool is_string() const { return kind() == JsonKind::String; }
  bool is_array() const { return kind() == JsonKind::Array; }
  bool is_object() const { return kind() == JsonKind::Object; }

  // Only for the matching kind.
  std::string_view string() const { return node().text(); }
  bool boolean() const { return node().number.boolean; }
  std::int64_t integer() const { return node().number.integer; }
  std::uint64_t unsigned_value() const { return node().number.unsigned_value; }
  double float_value() const { return node().number.float_value; }

  // The member name this value has in its object ("" elsewhere).
  std::string_view key() const { return node().key(); }

  // Elements of an array, or members (repeats included, in written order)
  // of an object, as views; empty for any other value.
  class Children {
   public:
    class iterator {
     public:
      using value_type = JsonView;
      using difference_type = std::ptrdiff_t;
      iterator() = default;
      iterator(const JsonTape* tape, std::uint32_t index) : tape_(tape), index_(index) {}
      JsonView operator*() const { return JsonView(*tape_, index_); }
      iterator& operator++() {
        index_ = (*tape_)[index_].end;
        return *this;
      }
      iterator operator++(int) {
        iterator before = *this;
        ++*this;
        return before;
      }
      friend bool operator==(const iterator& a, const iterator& b) { return a.index_ == b.index_; }

     private:
      const JsonTape* tape_ = nullptr;
      std::uint32_t index_ = 0;
    };
    iterator begin() const { return {tape_, first_}; }
    iterator end() const { return {tape_, last_}; }

   private:
    friend class JsonView;
    Children(const JsonTape* tape, std::uint32_t first, std::uint32_t last)
        : tape_(tape), first_(first), last_(last) {}
    const JsonTape* tape_;
    std::uint32_t first_, last_;
  };
  Children children() const;

  // The last member named `key`; not found when absent or not an object.
  // Inline: callers name their keys as constants, so the names compare in
  // place.
  bool find(std::string_view key, JsonView& out) const {
    const JsonNode* nodes = tape_->data();
    const JsonNode& object = nodes[index_];
    if (object.kind != JsonKind::Object) return false;
    std::uint32_t found = 0;
    for (std::uint32_t at = index_ + 1; at < object.end; at = nodes[at].end) {
      if (nodes[at].key() == key) found = at;
    }
    if (found == 0) return false;  // a member is never the first node
    out = JsonView(*tape_, found);
    return true;
  }

  // The members of an object as the held value has them: one per name (the
  // last written), in byte order of the names.
  std::vector<JsonView> members_by_key() const;

  // The held value of this view.
  Json held() const;

 private:
  const JsonNode& node() const { return (*tape_)[index_]; }

  const JsonTape* tape_;
  std::uint32_t index_;
};

}  // namespace vt
