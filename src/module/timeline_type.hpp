// The module's column results: the `Timeline` type (a run's events as Arrow
// columns, made by calling the type) and the type of its `diagnostics`
// attribute (the run's diagnostics, the same kind of object).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vtpy {

// Creates both types and adds `Timeline` to `module`. False with an
// exception set.
bool add_timeline_type(PyObject* module);

}  // namespace vtpy
