// Turning a path argument into UTF-8 text: a `str`, or any object whose
// `__fspath__()` returns one (a `pathlib.Path`, for instance).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>

namespace vtpy {

// False with TypeError (or UnicodeEncodeError) set when `value` is no text
// path, and with ValueError "embedded null byte" when the text holds U+0000.
bool convert_path(PyObject* value, std::string& out);

}  // namespace vtpy
