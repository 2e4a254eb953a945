// Letting go of what an interrupted call built, without holding the
// interrupt back. Freeing the millions of objects of a large result takes
// seconds, and the caller is waiting on Ctrl-C: the Python objects are freed
// a slice at a time by a daemon thread that lets the interpreter lock go
// between slices (so the caller's thread runs on at once), and the C++
// report on a thread of its own.
#pragma once

#include "core/records.hpp"
#include "module/py_ref.hpp"

namespace vtpy {

// Frees `built` (lists and dicts of lists are emptied a slice at a time)
// on another thread, then enables collection again through `gc` (the gc
// module, when given); at once when no thread can be started. Call with
// the lock held; a pending exception stays pending.
void release_in_steps(PyRef built, PyRef gc = PyRef());

// Frees `report` on a thread of its own (here, when no thread can be had).
void release_in_background(vt::Report& report);

}  // namespace vtpy
