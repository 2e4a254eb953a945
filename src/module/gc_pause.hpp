// Pauses the interpreter's cyclic garbage collector while a large result is
// built. The result holds no reference cycles, yet every few hundred new
// containers would otherwise start a collection that walks all of them again.
// The lock is held throughout, so no other thread observes the pause. A
// result dropped half built can take the pause along while it is freed: a
// collection over its millions of objects would hold the caller back.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "module/py_ref.hpp"

namespace vtpy {

class GcPause {
 public:
  GcPause();
  ~GcPause();
  GcPause(const GcPause&) = delete;
  GcPause& operator=(const GcPause&) = delete;

  // The gc module when collection is paused here, to be enabled again by
  // whoever takes it (this pause then ends nothing); else nothing.
  PyRef hand_over() { return std::move(gc_); }

 private:
  PyRef gc_;  // the gc module, set only when collection was paused here
};

}  // namespace vtpy
