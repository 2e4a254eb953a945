// How failures leave the module: a run's ParseError becomes OSError or
// ValueError, and a broken internal invariant (for instance a C++ exception
// that escaped the core) becomes PanicException, which derives from
// BaseException so that ordinary `except Exception` handlers let it through.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>
#include <variant>

#include "core/parse_error.hpp"

namespace vtpy {

struct InternalFailure {
  std::string text;  // empty: no description available
  bool out_of_memory = false;
};

// A Python exception already pending (a signal handler raised while the work
// ran); raising the call error leaves it as it is.
struct PendingException {};

// Everything that can end a call after its arguments were accepted.
using CallError = std::variant<vt::ParseError, InternalFailure, PendingException>;

// Describes the exception being handled; call only inside a catch block.
InternalFailure describe_current_exception() noexcept;

void raise_parse_error(const vt::ParseError& error);
// `module` is the vellumtrace module, which holds the PanicException class.
void raise_internal_failure(PyObject* module, const InternalFailure& failure);
void raise_call_error(PyObject* module, const CallError& error);

// Clears the pending exception and returns its text (`fallback` when it has
// none); nullptr only when even that text cannot be made.
PyObject* take_pending_error_text(const char* fallback);

}  // namespace vtpy
