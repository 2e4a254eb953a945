// The order in which a record's pasted items become events: numerically when
// every key is a signed 64-bit decimal integer (the usual "1", "2", … "10"),
// byte-wise otherwise, so the order never depends on how the map was parsed.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/records.hpp"
#include "jsonl/json_view.hpp"

namespace vt::claude {

// An optional single "+" or "-", then one or more ASCII digits, within the
// signed 64-bit range; nothing else.
std::optional<std::int64_t> parse_decimal_key(std::string_view key);

// The members of `entries` in event order. Keys equal as numbers ("1", "01")
// keep their byte order.
// `entries` is read as its held value has it: one member per key, the last
// written.
std::vector<JsonView> ordered_paste_entries(JsonView entries);

}  // namespace vt::claude
