// The table `--prices FILE` names: read whole (it is small), checked, and
// laid over the built-in table.
#pragma once

#include <string>

#include "core/parse_error.hpp"
#include "prices/price_table.hpp"

namespace vt::cli {

// The built-in table extended by the file's rows; an error naming the file
// when it cannot be read or is not a price table.
Result<PriceTable> load_prices(const std::string& path);

}  // namespace vt::cli
