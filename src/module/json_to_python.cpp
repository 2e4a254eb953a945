#include "module/json_to_python.hpp"

#include "module/py_ref.hpp"
#include "module/values.hpp"

namespace vtpy {

namespace {

PyObject* array_to_list(const vt::Json& array, SignalPoll& poll) {
  PyRef list(PyList_New(static_cast<Py_ssize_t>(array.size())));
  if (!list) return nullptr;
  Py_ssize_t index = 0;
  for (const vt::Json& item : array) {
    PyObject* converted = json_to_python(item, poll);
    if (converted == nullptr) return nullptr;
    PyList_SetItem(list.get(), index++, converted);  // steals `converted`
  }
  return list.release();
}

// The object type keeps its members sorted by key bytes, so plain iteration
// gives the dict its key order.
PyObject* object_to_dict(const vt::Json& object, SignalPoll& poll) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  for (auto it = object.begin(); it != object.end(); ++it) {
    PyRef key(str_from_utf8(it.key()));
    if (!key) return nullptr;
    PyRef value(json_to_python(it.value(), poll));
    if (!value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
  }
  return dict.release();
}

}  // namespace

PyObject* json_to_python(const vt::Json& value, SignalPoll& poll) {
  using Type = vt::Json::value_t;
  if (!poll.step()) return nullptr;
  switch (value.type()) {
    case Type::null: Py_RETURN_NONE;
    case Type::boolean: return PyBool_FromLong(value.get<bool>() ? 1 : 0);
    case Type::number_integer: return PyLong_FromLongLong(value.get<std::int64_t>());
    case Type::number_unsigned: return PyLong_FromUnsignedLongLong(value.get<std::uint64_t>());
    case Type::number_float: return PyFloat_FromDouble(value.get<double>());
    case Type::string: return str_from_utf8(value.get_ref<const std::string&>());
    case Type::array:
    case Type::object: {
      if (Py_EnterRecursiveCall(" while converting a JSON value") != 0) return nullptr;
      PyObject* result = value.is_array() ? array_to_list(value, poll) : object_to_dict(value, poll);
      Py_LeaveRecursiveCall();
      return result;
    }
    case Type::binary:
    case Type::discarded: break;
  }
  PyErr_SetString(PyExc_ValueError, "cannot convert a JSON value of this type to Python");
  return nullptr;
}

}  // namespace vtpy
