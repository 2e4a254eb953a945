// STUB: replaced by the module work.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "core/driver.hpp"

static PyModuleDef vt_module = {PyModuleDef_HEAD_INIT, "vellumtrace", "", -1, nullptr,
                                nullptr, nullptr, nullptr, nullptr};

PyMODINIT_FUNC PyInit_vellumtrace(void) { return PyModule_Create(&vt_module); }
