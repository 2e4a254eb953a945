// The Python object that holds one column table (a Timeline, or the
// diagnostics of one): the table is immutable and shared with every stream
// handed out, so it outlives the object as long as a consumer needs it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "columns/column_data.hpp"
#include "core/input_files.hpp"

namespace vtpy {

struct ColumnObject {
  PyObject_HEAD
  // Set once the object is made; null only in an object a failed call left.
  std::shared_ptr<const vt::columns::ColumnTable>* table;
  PyObject* diagnostics;  // a Timeline's diagnostics object; null otherwise
  // The files the run read (shared by a Timeline and its diagnostics), which
  // write_parquet never replaces.
  std::shared_ptr<const vt::InputFiles>* inputs;
};

inline ColumnObject* column_object(PyObject* self) { return reinterpret_cast<ColumnObject*>(self); }

// The table of `self`; nullptr with RuntimeError set when it has none.
const std::shared_ptr<const vt::columns::ColumnTable>* table_of(PyObject* self);

// `self.write_parquet(path)`: the columns written through pyarrow into a
// temporary file beside `path`, which then takes its place; a path naming
// one of the run's input files is refused.
PyObject* write_parquet(PyObject* self, PyObject* path);

}  // namespace vtpy
