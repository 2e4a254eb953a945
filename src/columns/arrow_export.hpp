// A column table handed out through the Arrow C data interface and C stream
// interface without copying a buffer: every exported structure keeps the
// table alive until its consumer releases it, from any thread (the release
// callbacks touch nothing but what they own).
#pragma once

#include <memory>

#include "columns/arrow_abi.hpp"
#include "columns/column_data.hpp"

namespace vt::columns {

// Fills `out` with the type `field` describes. False (and `out` untouched)
// when memory runs out.
bool export_schema(const Field& field, ArrowSchema* out) noexcept;

// Fills `out` with a stream that yields the table's batches in order, each
// once; its schema is the table's. A new stream starts at the first batch.
bool export_stream(std::shared_ptr<const ColumnTable> table, ArrowArrayStream* out) noexcept;

}  // namespace vt::columns
