// Conversion of a held JSON value (a raw record or raw timestamp) into plain
// Python objects, keeping integers exact across the whole signed and unsigned
// 64-bit range and object keys in ascending byte order.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "core/records.hpp"
#include "module/watched_run.hpp"

namespace vtpy {

// A new reference, or nullptr with an exception set (also when a signal
// handler, run through `poll` every few thousand values, raised).
PyObject* json_to_python(const vt::Json& value, SignalPoll& poll);

}  // namespace vtpy
