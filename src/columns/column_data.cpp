#include "columns/column_data.hpp"

namespace vt::columns {

namespace {

// Stands in for every empty buffer; aligned and long enough for any one value.
alignas(64) constexpr std::uint8_t kEmptyBlock[64] = {};

}  // namespace

const void* buffer_address(const Buffer& buffer) {
  return std::visit(
      [](const auto& held) -> const void* {
        if constexpr (std::is_same_v<std::decay_t<decltype(held)>, std::monostate>) {
          return nullptr;
        } else {
          return held.empty() ? static_cast<const void*>(kEmptyBlock)
                              : static_cast<const void*>(held.data());
        }
      },
      buffer);
}

}  // namespace vt::columns
