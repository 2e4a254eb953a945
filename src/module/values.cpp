#include "module/values.hpp"

#include "module/errors.hpp"
#include "module/py_ref.hpp"

namespace vtpy {

namespace {

// Replaces a pending TypeError with "argument '{name}': {its text}"; other
// exceptions stay as they are.
void prefix_type_error(const char* name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyRef text(take_pending_error_text(""));
  if (!text) return;
  PyErr_Format(PyExc_TypeError, "argument '%s': %U", name, text.get());
}

bool is_numpy_bool(PyObject* value) {
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  PyRef module(PyObject_GetAttrString(type, "__module__"));
  if (!module || !PyUnicode_Check(module.get()) ||
      PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) {
    PyErr_Clear();
    return false;
  }
  PyRef name(PyObject_GetAttrString(type, "__name__"));
  if (!name || !PyUnicode_Check(name.get())) {
    PyErr_Clear();
    return false;
  }
  return PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0 ||
         PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0;
}

}  // namespace

std::string type_qualname(PyObject* object) {
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
  PyRef name(PyObject_GetAttrString(type, "__qualname__"));
  std::string text;
  if (name && PyUnicode_Check(name.get()) && utf8_of(name.get(), text)) return text;
  PyErr_Clear();
  return "object";
}

bool utf8_of(PyObject* text, std::string& out) {
  PyRef bytes(PyUnicode_AsUTF8String(text));
  if (!bytes) return false;
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes.get(), &data, &size) < 0) return false;
  out.assign(data, static_cast<std::size_t>(size));
  return true;
}

PyObject* str_from_utf8(const std::string& text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

void set_conversion_error(PyObject* object, const char* target) {
  const std::string type = type_qualname(object);
  PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to '%s'", type.c_str(), target);
}

bool convert_text(const char* name, PyObject* value, std::string& out) {
  if (!PyUnicode_Check(value)) {
    set_conversion_error(value, "PyString");
    prefix_type_error(name);
    return false;
  }
  return utf8_of(value, out);
}

bool convert_texts(const char* name, PyObject* value, std::vector<std::string>& out) {
  if (!PyList_Check(value) && !PyTuple_Check(value)) {
    set_conversion_error(value, "Sequence[str]");
    prefix_type_error(name);
    return false;
  }
  const Py_ssize_t count = PySequence_Size(value);
  if (count < 0) return false;
  out.assign(static_cast<std::size_t>(count), std::string());
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyRef item(PySequence_GetItem(value, i));
    if (!item || !convert_text(name, item.get(), out[static_cast<std::size_t>(i)])) return false;
  }
  return true;
}

bool convert_flag(const char* name, PyObject* value, bool& out) {
  if (PyBool_Check(value)) {
    out = value == Py_True;
    return true;
  }
  if (!is_numpy_bool(value)) {
    set_conversion_error(value, "PyBool");
    prefix_type_error(name);
    return false;
  }
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  if (!PyObject_HasAttrString(type, "__bool__")) {
    const std::string type_name = type_qualname(value);
    PyErr_Format(PyExc_TypeError, "object of type '%s' does not define a '__bool__' conversion",
                 type_name.c_str());
    prefix_type_error(name);
    return false;
  }
  const int truth = PyObject_IsTrue(value);
  if (truth < 0) {
    prefix_type_error(name);
    return false;
  }
  out = truth != 0;
  return true;
}

bool convert_size(const char* name, PyObject* value, std::uint64_t& out) {
  PyRef index(PyNumber_Index(value));
  if (!index) {
    prefix_type_error(name);
    return false;
  }
  const unsigned long long number = PyLong_AsUnsignedLongLong(index.get());
  if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = number;
  return true;
}

}  // namespace vtpy
