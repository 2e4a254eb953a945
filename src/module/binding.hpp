// Binding of a call's positional and keyword arguments to a function's
// parameters, with the TypeError texts of a mismatched call.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <span>

#include "module/arguments.hpp"

namespace vtpy {

// Fills `slots` (one per parameter, initially null) with borrowed references
// to the bound values; a null slot means "not given". False with TypeError set.
bool bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                    std::span<PyObject*> slots);

}  // namespace vtpy
