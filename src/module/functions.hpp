// The five functions the module offers, as the interpreter calls them
// (positional arguments as a tuple, keywords as a dict).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vtpy {

PyObject* parse(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* convert(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* to_json(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* to_jsonl(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* to_csv(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace vtpy
