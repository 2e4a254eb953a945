// Matching the records of one view to the originals they repeat, by a key
// (a text as compared): each original is taken at most once, and in order
// (never one before the last taken). Linear in the records however many
// find nothing, so a hostile file cannot make matching quadratic.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vt {

class OrderedMatches {
 public:
  // Originals in ascending `index` order.
  void add(std::string key, std::size_t index) { by_key_[std::move(key)].first.push_back(index); }

  // The first original with `key` after the last one taken, taken.
  std::optional<std::size_t> take(const std::string& key) {
    const auto found = by_key_.find(key);
    if (found == by_key_.end()) return std::nullopt;
    auto& [indexes, cursor] = found->second;
    while (cursor < indexes.size() && indexes[cursor] < after_) ++cursor;
    if (cursor == indexes.size()) return std::nullopt;
    const std::size_t index = indexes[cursor++];
    after_ = index + 1;
    return index;
  }

 private:
  std::unordered_map<std::string, std::pair<std::vector<std::size_t>, std::size_t>> by_key_;
  std::size_t after_ = 0;
};

}  // namespace vt
