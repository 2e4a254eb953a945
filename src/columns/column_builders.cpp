#include "columns/column_builders.hpp"

#include <limits>

#include "core/path_text.hpp"
#include "output/json_text.hpp"

namespace vt::columns {

namespace {


template <class Vector>
Buffer take(Vector& values) {
  values.shrink_to_fit();
  Buffer buffer(std::move(values));
  values = Vector();
  return buffer;
}

// An array of fixed-width values: validity, then the values.
template <class Value>
ArrayData primitive_array(Validity& validity, std::vector<Value>& values) {
  ArrayData array;
  array.length = static_cast<std::int64_t>(values.size());
  array.buffers.push_back(validity.finish(array.null_count));
  array.buffers.push_back(take(values));
  return array;
}

}  // namespace

// ------------------------------------------------------------------ Validity

void Validity::append_bit(bool valid) {
  if (nulls_ == 0) {
    // The first null: every row before it was valid.
    bits_.assign(static_cast<std::size_t>((length_ + 8) / 8), 0);
    for (std::int64_t i = 0; i < length_; ++i) bits_[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
  } else if (length_ % 8 == 0) {
    bits_.push_back(0);
  }
  if (valid) {
    bits_[length_ / 8] |= static_cast<std::uint8_t>(1u << (length_ % 8));
  } else {
    ++nulls_;
  }
  ++length_;
}

Buffer Validity::finish(std::int64_t& null_count) {
  null_count = nulls_;
  Buffer bitmap = nulls_ == 0 ? Buffer() : take(bits_);
  bits_.clear();
  length_ = 0;
  nulls_ = 0;
  return bitmap;
}

// ---------------------------------------------------------------- TextColumn

Field TextColumn::field(std::string name, bool nullable) {
  return Field{std::move(name), "U", nullable, {}, {}, nullptr};
}

void TextColumn::append(std::string_view text) {
  if (measuring_) {
    measured_ += text.size();
    return;
  }
  if (is_valid_utf8(text)) {
    data_.append(text);
  } else {
    data_.append(utf8_lossy(text));
  }
  offsets_.push_back(static_cast<std::int64_t>(data_.size()));
  validity_.append(true);
}

void TextColumn::append_valid(std::string_view text) {
  if (measuring_) {
    measured_ += text.size();
    return;
  }
  data_.append(text);
  offsets_.push_back(static_cast<std::int64_t>(data_.size()));
  validity_.append(true);
}

void TextColumn::append_json(const Json& value) {
  if (measuring_) {
    // The usual value (a text) takes its length and quotes; others are sized as they grow.
    measured_ += value.is_string() ? value.get_ref<const std::string&>().size() + 2 : 0;
    return;
  }
  // The serializer's output is valid UTF-8 (bad sequences already replaced).
  put_json_value(data_, value, false, 0);
  offsets_.push_back(static_cast<std::int64_t>(data_.size()));
  validity_.append(true);
}

void TextColumn::append_null() {
  if (measuring_) return;
  offsets_.push_back(static_cast<std::int64_t>(data_.size()));
  validity_.append(false);
}

ArrayData TextColumn::finish() {
  ArrayData array;
  array.length = static_cast<std::int64_t>(offsets_.size()) - 1;
  array.buffers.push_back(validity_.finish(array.null_count));
  array.buffers.push_back(take(offsets_));
  array.buffers.push_back(take(data_));
  offsets_.push_back(0);
  return array;
}

// ------------------------------------------------------------ PrimitiveColumn

template <class Value, char Format>
ArrayData PrimitiveColumn<Value, Format>::finish() {
  return primitive_array(validity_, values_);
}

template class PrimitiveColumn<std::uint64_t, 'L'>;
template class PrimitiveColumn<std::int64_t, 'l'>;
template class PrimitiveColumn<double, 'g'>;

// ---------------------------------------------------------------- BoolColumn

Field BoolColumn::field(std::string name, bool nullable) {
  return Field{std::move(name), "b", nullable, {}, {}, nullptr};
}

void BoolColumn::append(const std::optional<bool>& value) {
  if (length_ % 8 == 0) bits_.push_back(0);
  if (value.value_or(false)) bits_[length_ / 8] |= static_cast<std::uint8_t>(1u << (length_ % 8));
  ++length_;
  validity_.append(value.has_value());
}

ArrayData BoolColumn::finish() {
  ArrayData array;
  array.length = length_;
  array.buffers.push_back(validity_.finish(array.null_count));
  array.buffers.push_back(take(bits_));
  length_ = 0;
  return array;
}

// ----------------------------------------------------------- TimestampColumn

Field TimestampColumn::field(std::string name, bool nullable) {
  return Field{std::move(name), "tsu:UTC", nullable, {}, {}, nullptr};
}

void TimestampColumn::append(const std::optional<Instant>& instant) {
  if (!instant) {
    values_.push_back(0);
    validity_.append(false);
    return;
  }
  values_.push_back(instant->unix_seconds() * 1'000'000 +
                    static_cast<std::int64_t>(instant->nanos() / 1000));
  validity_.append(true);
}

ArrayData TimestampColumn::finish() { return primitive_array(validity_, values_); }

// ------------------------------------------------------------ TextListColumn

Field TextListColumn::field(std::string name, bool nullable) {
  return Field{std::move(name), "+l", nullable, {}, {TextColumn::field("item", false)}, nullptr};
}

void TextListColumn::append(const WarningList& items) {
  for (const SharedString& item : items) items_.append(std::string_view(item));
  offsets_.push_back(offsets_.back() + static_cast<std::int32_t>(items.size()));
}

ArrayData TextListColumn::finish() {
  ArrayData array;
  array.length = static_cast<std::int64_t>(offsets_.size()) - 1;
  array.buffers.push_back(Buffer());
  array.buffers.push_back(take(offsets_));
  array.children.push_back(items_.finish());
  offsets_.push_back(0);
  return array;
}

// ---------------------------------------------------------------- Vocabulary

std::pair<std::int32_t, std::string_view> Vocabulary::entry(std::string_view text) {
  auto found = index_.find(text);
  if (found == index_.end()) {
    found = index_.emplace(std::string(text), count_++).first;
    values_.append(text);
  }
  return {found->second, found->first};
}

std::shared_ptr<const ArrayData> Vocabulary::finish() {
  index_.clear();
  count_ = 0;
  return std::make_shared<const ArrayData>(values_.finish());
}

// ---------------------------------------------------------- DictionaryColumn

Field DictionaryColumn::field(std::string name, bool nullable) {
  return Field{std::move(name), "i", nullable, {}, {},
               std::make_shared<const Field>(TextColumn::field("", false))};
}

void DictionaryColumn::append_null() {
  indices_.push_back(0);
  validity_.append(false);
}

ArrayData DictionaryColumn::finish() { return primitive_array(validity_, indices_); }

// ---------------------------------------------------------- SharedTextColumn

void SharedTextColumn::append(const SharedString& text) {
  const std::string& copy = text.str();
  Slot& slot = slots_[(reinterpret_cast<std::uintptr_t>(&copy) >> 4) % kSlots];
  if (slot.copy != &copy || slot.text != copy) {
    const auto [index, held] = vocabulary_.entry(copy);
    slot = Slot{&copy, index, held};
  }
  append_index(slot.index);
}

}  // namespace vt::columns
