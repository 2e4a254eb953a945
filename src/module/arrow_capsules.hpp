// Column tables handed to Python as the Arrow PyCapsule interface expects:
// an "arrow_schema" or "arrow_array_stream" capsule owning its structure,
// whose destructor releases whatever the consumer did not take over.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "columns/column_data.hpp"

namespace vtpy {

// New references, or nullptr with MemoryError set.
PyObject* schema_capsule(const vt::columns::Field& schema);
PyObject* stream_capsule(std::shared_ptr<const vt::columns::ColumnTable> table);

}  // namespace vtpy
