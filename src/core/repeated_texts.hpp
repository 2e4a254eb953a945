// RepeatedTexts: one shared copy of each text a reader keeps repeating
// (record types, warnings), so a million events cost one string, not a
// million. Bounded: hostile input with ever-new texts only costs the usual
// one string per event.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "core/shared_string.hpp"

namespace vt {

class RepeatedTexts {
 public:
  SharedString get(std::string_view text) {
    for (const SharedString& seen : seen_) {
      if (seen == text) return seen;
    }
    if (seen_.size() < kLimit) {
      seen_.emplace_back(text);
      return seen_.back();
    }
    seen_.back() = SharedString(text);
    return seen_.back();
  }

 private:
  static constexpr std::size_t kLimit = 32;
  std::vector<SharedString> seen_;
};

}  // namespace vt
