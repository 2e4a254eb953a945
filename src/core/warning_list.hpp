// WarningList: the warnings of one event. Most events carry none and most of
// the rest carry one, so the first lives in the record itself and only
// further ones go to the heap. Reads look like a vector's.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "core/boxed.hpp"
#include "core/optional_shared.hpp"
#include "core/shared_string.hpp"

namespace vt {

class WarningList {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = SharedString;
    using difference_type = std::ptrdiff_t;
    using pointer = const SharedString*;
    using reference = const SharedString&;

    const_iterator() = default;
    const_iterator(const WarningList* list, std::size_t index) : list_(list), index_(index) {}
    reference operator*() const { return (*list_)[index_]; }
    pointer operator->() const { return &(*list_)[index_]; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++index_;
      return before;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.index_ == b.index_;
    }

   private:
    const WarningList* list_ = nullptr;
    std::size_t index_ = 0;
  };

  WarningList() = default;
  WarningList(std::initializer_list<SharedString> items) {
    for (const SharedString& item : items) push_back(item);
  }

  void push_back(SharedString warning) {
    if (!first_) {
      first_ = std::move(warning);
    } else if (rest_) {
      rest_->push_back(std::move(warning));
    } else {
      rest_.emplace(std::vector<SharedString>{std::move(warning)});
    }
  }
  template <class It>
  void assign(It begin, It end) {
    clear();
    for (; begin != end; ++begin) push_back(SharedString(*begin));
  }
  void clear() {
    first_.reset();
    rest_.reset();
  }

  std::size_t size() const { return first_ ? 1 + (rest_ ? rest_->size() : 0) : 0; }
  bool empty() const { return !first_; }
  const SharedString& operator[](std::size_t i) const { return i == 0 ? *first_ : (*rest_)[i - 1]; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  friend bool operator==(const WarningList& a, const WarningList& b) {
    return a.first_ == b.first_ && a.rest_ == b.rest_;
  }

 private:
  OptionalShared first_;
  Boxed<std::vector<SharedString>> rest_;
};

}  // namespace vt
