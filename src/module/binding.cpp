#include "module/binding.hpp"

#include <string>
#include <vector>

namespace vtpy {

namespace {

void too_many_positional(const Signature& signature, Py_ssize_t given) {
  const std::size_t max = signature.params.size();
  const char* was = given == 1 ? "was" : "were";
  if (signature.required == max) {
    PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given",
                 signature.call_name, max, given, was);
  } else {
    PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given",
                 signature.call_name, signature.required, max, given, was);
  }
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string quoted_list(const std::vector<const char*>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) text += ",";
      text += i + 1 == names.size() ? " and " : " ";
    }
    text += '\'';
    text += names[i];
    text += '\'';
  }
  return text;
}

void missing_required(const Signature& signature, const std::vector<const char*>& names) {
  const char* noun = names.size() == 1 ? "argument" : "arguments";
  PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", signature.call_name,
               names.size(), noun, quoted_list(names).c_str());
}

// The parameter named by `key`, or -1.
Py_ssize_t find_param(const Signature& signature, PyObject* key) {
  if (!PyUnicode_Check(key)) return -1;
  for (std::size_t i = 0; i < signature.params.size(); ++i) {
    if (PyUnicode_CompareWithASCIIString(key, param_name(signature.params[i])) == 0) {
      return static_cast<Py_ssize_t>(i);
    }
  }
  return -1;
}

bool bind_keywords(const Signature& signature, PyObject* kwargs, Py_ssize_t positional,
                   std::span<PyObject*> slots) {
  Py_ssize_t pos = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(kwargs, &pos, &key, &value)) {
    const Py_ssize_t index = find_param(signature, key);
    if (index < 0) {
      if (PyUnicode_Check(key)) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'",
                     signature.call_name, key);
      } else {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'",
                     signature.call_name, key);
      }
      return false;
    }
    if (index < positional) {
      PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                   signature.call_name, param_name(signature.params[index]));
      return false;
    }
    slots[index] = value;
  }
  return true;
}

}  // namespace

bool bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                    std::span<PyObject*> slots) {
  const Py_ssize_t positional = args != nullptr ? PyTuple_Size(args) : 0;
  if (positional < 0) return false;
  if (static_cast<std::size_t>(positional) > signature.params.size()) {
    too_many_positional(signature, positional);
    return false;
  }
  for (Py_ssize_t i = 0; i < positional; ++i) {
    slots[i] = PyTuple_GetItem(args, i);
    if (slots[i] == nullptr) return false;
  }
  if (kwargs != nullptr && !bind_keywords(signature, kwargs, positional, slots)) return false;

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < signature.required; ++i) {
    if (slots[i] == nullptr) missing.push_back(param_name(signature.params[i]));
  }
  if (!missing.empty()) {
    missing_required(signature, missing);
    return false;
  }
  return true;
}

}  // namespace vtpy
