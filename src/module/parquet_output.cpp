// `write_parquet`: a column object written to a Parquet file by pyarrow,
// which reads the columns through the Arrow C stream without a copy. pyarrow
// is optional (the `parquet` extra); without it the call says so.
#include "module/column_object.hpp"
#include "module/path_arg.hpp"
#include "module/py_ref.hpp"

namespace vtpy {

namespace {

// pyarrow's `module`, or nullptr with ImportError naming the extra.
PyRef import_pyarrow(const char* module) {
  PyRef imported(PyImport_ImportModule(module));
  if (!imported && PyErr_ExceptionMatches(PyExc_ImportError)) {
    PyErr_Clear();
    PyErr_SetString(PyExc_ImportError,
                    "write_parquet needs pyarrow: pip install 'vellumtrace[parquet]'");
  }
  return imported;
}

}  // namespace

PyObject* write_parquet(PyObject* self, PyObject* path) {
  if (table_of(self) == nullptr) return nullptr;
  std::string checked;
  if (!convert_path(path, checked)) return nullptr;
  PyRef pyarrow = import_pyarrow("pyarrow");
  if (!pyarrow) return nullptr;
  PyRef parquet = import_pyarrow("pyarrow.parquet");
  if (!parquet) return nullptr;
  PyRef table(PyObject_CallMethod(pyarrow.get(), "table", "O", self));
  if (!table) return nullptr;
  PyRef written(PyObject_CallMethod(parquet.get(), "write_table", "OO", table.get(), path));
  if (!written) return nullptr;
  Py_RETURN_NONE;
}

}  // namespace vtpy
