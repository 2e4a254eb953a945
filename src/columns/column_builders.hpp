// Growing one column of a record batch: values appended row by row straight
// into the buffers of its Arrow layout, then handed over as a finished array
// (and the builder starts the next batch). One builder per Arrow type the
// tables use: UTF-8 text (64-bit offsets), unsigned and signed 64-bit
// integers, 64-bit floats, booleans, UTC timestamps in microseconds, lists of
// text, and dictionary-encoded text whose dictionary is shared by every batch
// of a table.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "columns/column_data.hpp"
#include "core/enums.hpp"
#include "core/instant.hpp"
#include "core/optional_shared.hpp"
#include "core/records.hpp"
#include "core/warning_list.hpp"

namespace vt::columns {

// The validity bitmap of a column; kept only from the first null on.
class Validity {
 public:
  void append(bool valid) {
    if (valid && nulls_ == 0) {
      ++length_;
      return;
    }
    append_bit(valid);
  }
  // The bitmap (absent when every row is valid) and its null count; resets.
  Buffer finish(std::int64_t& null_count);
  void reserve(std::size_t rows) {
    if (nulls_ != 0) bits_.reserve(bits_.size() + rows / 8 + 1);
  }

 private:
  void append_bit(bool valid);

  std::vector<std::uint8_t> bits_;
  std::int64_t length_ = 0;
  std::int64_t nulls_ = 0;
};

// large_string: UTF-8 text with 64-bit offsets (no batch can outgrow them).
// Invalid UTF-8 is stored with each bad sequence replaced by U+FFFD.
class TextColumn {
 public:
  static Field field(std::string name, bool nullable = true);
  TextColumn() { offsets_.push_back(0); }
  // A column that only adds up the bytes appended to it (no text kept), to
  // size a real one before it is filled.
  static TextColumn measuring() {
    TextColumn column;
    column.measuring_ = true;
    return column;
  }
  std::size_t measured() const { return measured_; }
  // Room for `rows` more rows holding `bytes` of text.
  void reserve(std::size_t rows, std::size_t bytes) {
    offsets_.reserve(offsets_.size() + rows);
    data_.reserve(data_.size() + bytes);
    validity_.reserve(rows);
  }

  void append(std::string_view text);
  // Text known to be valid UTF-8 (this program's own: identifiers, digests).
  void append_valid(std::string_view text);
  // A held JSON value as compact JSON text, written in place.
  void append_json(const Json& value);
  void append(const std::string& text) { append(std::string_view(text)); }
  void append_null();
  void append(const OptionalShared& text) { text ? append(std::string_view(*text)) : append_null(); }
  void append(const std::optional<std::string>& text) { text ? append(std::string_view(*text)) : append_null(); }
  ArrayData finish();

 private:
  Validity validity_;
  std::vector<std::int64_t> offsets_;
  std::string data_;
  bool measuring_ = false;
  std::size_t measured_ = 0;
};

// Fixed-width numbers: uint64 ("L"), int64 ("l") and double ("g").
template <class Value, char Format>
class PrimitiveColumn {
 public:
  static Field field(std::string name, bool nullable = true) {
    return Field{std::move(name), std::string(1, Format), nullable, {}, {}, nullptr};
  }
  void append(Value value) {
    values_.push_back(value);
    validity_.append(true);
  }
  void append(const std::optional<Value>& value) {
    values_.push_back(value.value_or(Value{}));
    validity_.append(value.has_value());
  }
  void append_null() { append(std::optional<Value>()); }
  void reserve(std::size_t rows) { values_.reserve(values_.size() + rows); }
  ArrayData finish();

 private:
  Validity validity_;
  std::vector<Value> values_;
};

using UInt64Column = PrimitiveColumn<std::uint64_t, 'L'>;
using Int64Column = PrimitiveColumn<std::int64_t, 'l'>;
using Float64Column = PrimitiveColumn<double, 'g'>;

// bool: the values as a bitmap of their own.
class BoolColumn {
 public:
  static Field field(std::string name, bool nullable = true);
  void append(const std::optional<bool>& value);
  ArrayData finish();

 private:
  Validity validity_;
  std::vector<std::uint8_t> bits_;
  std::int64_t length_ = 0;
};

// timestamp[us, tz=UTC]. Every instant the core holds fits (its years span
// less than the ±292,000 of 64-bit microseconds); digits below the
// microsecond are dropped, and an instant inside a leap second counts on
// into the next minute.
class TimestampColumn {
 public:
  static Field field(std::string name, bool nullable = true);
  void append(const std::optional<Instant>& instant);
  void reserve(std::size_t rows) { values_.reserve(values_.size() + rows); }
  ArrayData finish();

 private:
  Validity validity_;
  std::vector<std::int64_t> values_;
};

// list<large_string> with 32-bit offsets; never null (an empty list instead).
class TextListColumn {
 public:
  static Field field(std::string name, bool nullable = false);
  TextListColumn() { offsets_.push_back(0); }
  void append(const WarningList& items);
  ArrayData finish();

 private:
  std::vector<std::int32_t> offsets_;
  TextColumn items_;
};

// The distinct texts of one dictionary-encoded column of a table, each with
// its index (in order of first use).
class Vocabulary {
 public:
  std::int32_t index_of(std::string_view text) { return entry(text).first; }
  // The index of `text` and the vocabulary's own copy of it (which stays put).
  std::pair<std::int32_t, std::string_view> entry(std::string_view text);
  // The texts as a large_string array; the vocabulary is spent.
  std::shared_ptr<const ArrayData> finish();

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<std::string, std::int32_t, Hash, std::equal_to<>> index_;
  TextColumn values_;
  std::int32_t count_ = 0;
};

// dictionary<values=large_string, indices=int32>: the indices per batch, one
// dictionary for the whole table (attached by finish_dictionary once every
// batch is built), so consumers see the same dictionary in every batch.
class DictionaryColumn {
 public:
  static Field field(std::string name, bool nullable = true);
  void append_index(std::int32_t index) {
    indices_.push_back(index);
    validity_.append(true);
  }
  void append_null();
  void append(std::string_view text) { append_index(vocabulary_.index_of(text)); }
  void reserve(std::size_t rows) { indices_.reserve(indices_.size() + rows); }
  ArrayData finish();
  std::shared_ptr<const ArrayData> finish_dictionary() { return vocabulary_.finish(); }

 protected:
  Vocabulary vocabulary_;

 private:
  Validity validity_;
  std::vector<std::int32_t> indices_;
};

// One text on every row (the caller's collection label, the schema version).
class ConstantColumn : public DictionaryColumn {
 public:
  explicit ConstantColumn(std::string_view text) : index_(vocabulary_.index_of(text)) {}
  void append() { append_index(index_); }

 private:
  std::int32_t index_;
};

// A closed vocabulary (one of the core's enumerations) by its wire names,
// each looked up in the dictionary once.
class WordColumn : public DictionaryColumn {
 public:
  WordColumn() { known_.fill(-1); }
  template <class Enum>
  void append(Enum value) {
    std::int32_t& slot = known_[static_cast<std::uint8_t>(value)];
    if (slot < 0) slot = vocabulary_.index_of(wire_name(value));
    append_index(slot);
  }
  template <class Enum>
  void append(const std::optional<Enum>& value) {
    value ? append(*value) : append_null();
  }

 private:
  std::array<std::int32_t, 256> known_;
};

// Texts that repeat from row to row (a file's path, digest, session,
// directory): the events of a file share one copy, so each copy is looked up
// in the dictionary once while it stays in use.
class SharedTextColumn : public DictionaryColumn {
 public:
  void append(const SharedString& text);
  void append(const OptionalShared& text) { text ? append(*text) : append_null(); }

 private:
  // A copy seen before, by its address; the text is checked too, since a
  // copy freed meanwhile may leave its address to another.
  struct Slot {
    const std::string* copy = nullptr;
    std::int32_t index = -1;
    std::string_view text;  // the vocabulary's text of that index
  };
  static constexpr std::size_t kSlots = 256;
  std::array<Slot, kSlots> slots_{};
};

}  // namespace vt::columns
