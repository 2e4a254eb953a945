#include "cli/price_file.hpp"

#include <fstream>
#include <iterator>

namespace vt::cli {

namespace {

// More than any price table needs: a longer file is a mistake.
constexpr std::size_t kLargestTable = 4 * 1024 * 1024;

}  // namespace

Result<PriceTable> load_prices(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return fail(ParseError::message("--prices: cannot read '" + path + "'"));
  std::string text;
  char chunk[65536];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
    text.append(chunk, static_cast<std::size_t>(file.gcount()));
    if (text.size() > kLargestTable) {
      return fail(ParseError::message("--prices: '" + path + "' is larger than a price table can be (4 MiB)"));
    }
  }
  if (file.bad()) return fail(ParseError::message("--prices: cannot read '" + path + "'"));
  Result<PriceTable> table = PriceTable::from_json(text);
  if (!table) return fail(ParseError::message("--prices: '" + path + "': " + table.error().text()));
  PriceTable prices = builtin_prices();
  prices.extend(*table);
  return prices;
}

}  // namespace vt::cli
