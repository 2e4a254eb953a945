#include "module/path_arg.hpp"

#include "module/py_ref.hpp"
#include "module/values.hpp"

namespace vtpy {

bool convert_path(PyObject* value, std::string& out) {
  PyRef fspath(PyObject_CallMethod(value, "__fspath__", nullptr));
  PyObject* text = value;
  if (fspath) {
    text = fspath.get();
  } else {
    // No usable __fspath__ (a plain str has none): the object itself must be text.
    PyErr_Clear();
  }
  if (!PyUnicode_Check(text)) {
    set_conversion_error(text, "PyString");
    return false;
  }
  if (!utf8_of(text, out)) return false;
  // The system would see the path cut at the NUL: a different file.
  if (out.find('\0') != std::string::npos) {
    PyErr_SetString(PyExc_ValueError, "embedded null byte");
    return false;
  }
  return true;
}

}  // namespace vtpy
