// The report of a run as plain Python objects: {"events": [...],
// "diagnostics": [...]}, every record a dict with all its members (absent
// ones as None) and keys in ascending byte order.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "core/records.hpp"

namespace vtpy {

// A new dict, or nullptr with an exception set. Needs the interpreter lock.
PyObject* report_to_python(const vt::Report& report);

}  // namespace vtpy
