// Finished, immutable Arrow arrays as this project builds them: owned buffers
// (each a plain vector), children and an optional dictionary, with the field
// that describes their type, and a table of such arrays cut into record
// batches. Nothing here knows about events; arrow_export turns a table into
// the structures of the C data interface without copying a buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace vt::columns {

// One buffer of an array. `std::monostate` is an absent buffer (a validity
// bitmap of an array without nulls).
using Buffer = std::variant<std::monostate, std::vector<std::uint8_t>, std::vector<std::int32_t>,
                            std::vector<std::int64_t>, std::vector<std::uint64_t>, std::vector<double>,
                            std::string>;

// Where a buffer's bytes start: null for an absent buffer, a shared block of
// zeros for an empty one (consumers may not accept null for those).
const void* buffer_address(const Buffer& buffer);

struct ArrayData {
  std::int64_t length = 0;
  std::int64_t null_count = 0;
  std::vector<Buffer> buffers;  // in the layout's order, validity first
  std::vector<ArrayData> children;
  std::shared_ptr<const ArrayData> dictionary;  // the values of a dictionary-encoded array
};

// The type of an array, in the C data interface's terms.
struct Field {
  std::string name;
  std::string format;  // "U", "L", "l", "g", "b", "tsu:UTC", "+l", "+s", "i" (with a dictionary)...
  bool nullable = true;
  std::vector<std::pair<std::string, std::string>> metadata;
  std::vector<Field> children;
  std::shared_ptr<const Field> dictionary;  // the value type of a dictionary-encoded field
};

// Columns cut into record batches: `schema` is a struct field whose children
// are the columns, and every batch a struct array with one child per column.
struct ColumnTable {
  Field schema;
  std::vector<ArrayData> batches;

  std::uint64_t rows() const {
    std::uint64_t total = 0;
    for (const ArrayData& batch : batches) total += static_cast<std::uint64_t>(batch.length);
    return total;
  }
};

}  // namespace vt::columns
