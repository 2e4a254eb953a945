#include "module/stepped_release.hpp"

#include <system_error>
#include <thread>
#include <utility>

namespace vtpy {

namespace {

// Items freed between two releases of the lock: a millisecond or two.
constexpr Py_ssize_t kItemsPerStep = 2000;

// One step over `queue`, a list of containers still to free: the last one
// loses up to kItemsPerStep items, or, when that few remain, is dropped whole
// (a dict's list values join the queue first, to be emptied in turn).
void release_step(PyObject* queue) {
  const Py_ssize_t count = PyList_Size(queue);
  if (count <= 0) return;
  PyObject* last = PyList_GetItem(queue, count - 1);  // borrowed
  const Py_ssize_t size = PyList_Check(last) ? PyList_Size(last) : 0;
  if (size > kItemsPerStep) {
    PyList_SetSlice(last, size - kItemsPerStep, size, nullptr);
    return;
  }
  if (PyDict_Check(last)) {
    Py_ssize_t position = 0;
    PyObject *key = nullptr, *member = nullptr;
    while (PyDict_Next(last, &position, &key, &member)) {
      if (PyList_Check(member)) PyList_Append(queue, member);
    }
  }
  PySequence_DelItem(queue, count - 1);
}

// Collection enabled again through the gc module `gc` (None: nothing).
void enable_collection(PyObject* gc) {
  if (gc == Py_None) return;
  PyRef done(PyObject_CallMethod(gc, "enable", nullptr));
  PyErr_Clear();
}

// Calls `function` of module `name` with `argument`, ignoring any failure.
void call_quietly(const char* name, const char* function, PyObject* argument) {
  PyRef module(PyImport_ImportModule(name));
  PyRef done(module ? PyObject_CallMethod(module.get(), function, "O", argument) : nullptr);
  PyErr_Clear();
}

// The body of the releasing thread, given (queue, gc, at_exit): steps until
// the queue is empty, letting the lock go between them so that the caller's
// thread runs on, then collection goes on. Should the program end first,
// `at_exit` (registered with atexit) freezes the collector, so that the
// collection at the interpreter's end does not walk what is left.
PyObject* release_all(PyObject*, PyObject* args) {
  PyObject* queue = PyTuple_GetItem(args, 0);
  PyObject* gc = PyTuple_GetItem(args, 1);
  PyObject* at_exit = PyTuple_GetItem(args, 2);
  if (queue == nullptr || gc == nullptr || at_exit == nullptr) return nullptr;
  while (PyList_Size(queue) > 0) {
    release_step(queue);
    PyErr_Clear();
    Py_BEGIN_ALLOW_THREADS
    std::this_thread::yield();
    Py_END_ALLOW_THREADS
  }
  enable_collection(gc);
  call_quietly("atexit", "unregister", at_exit);
  Py_RETURN_NONE;
}

PyMethodDef g_release_all = {"_release_in_steps", release_all, METH_VARARGS, nullptr};

// Starts a daemon thread releasing `queue` and then enabling `gc`; false
// with an exception set when none could be started.
bool start_releasing(PyObject* queue, PyObject* gc) {
  PyRef threading(PyImport_ImportModule("threading"));
  PyRef body(PyCFunction_NewEx(&g_release_all, nullptr, nullptr));
  PyRef functools(PyImport_ImportModule("functools"));
  PyRef collector(PyImport_ImportModule("gc"));
  if (!threading || !body || !functools || !collector) return false;
  PyRef freeze(PyObject_GetAttrString(collector.get(), "freeze"));
  // A callable of its own, so that unregistering it leaves the caller's alone.
  PyRef at_exit(freeze ? PyObject_CallMethod(functools.get(), "partial", "O", freeze.get()) : nullptr);
  if (!at_exit) return false;
  PyRef thread_type(PyObject_GetAttrString(threading.get(), "Thread"));
  PyRef args(Py_BuildValue("(OOO)", queue, gc, at_exit.get()));
  PyRef options(Py_BuildValue("{s:O,s:O,s:O,s:s}", "target", body.get(), "args", args.get(), "daemon", Py_True,
                              "name", "vellumtrace-release"));
  if (!thread_type || !args || !options) return false;
  PyRef empty(PyTuple_New(0));
  PyRef thread(empty ? PyObject_Call(thread_type.get(), empty.get(), options.get()) : nullptr);
  if (!thread) return false;
  PyRef atexit(PyImport_ImportModule("atexit"));
  PyRef registered(atexit ? PyObject_CallMethod(atexit.get(), "register", "O", at_exit.get()) : nullptr);
  if (!registered) return false;
  PyRef started(PyObject_CallMethod(thread.get(), "start", nullptr));
  if (started) return true;
  // A second signal may end the wait for the thread after it was begun: it
  // runs, and owns what it was given.
  PyErr_Clear();
  PyRef ident(PyObject_GetAttrString(thread.get(), "ident"));
  if (ident && ident.get() != Py_None) return true;
  call_quietly("atexit", "unregister", at_exit.get());
  return false;
}

}  // namespace

void release_in_steps(PyRef built, PyRef gc) {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);  // the interrupt stays pending
  PyRef queue(PyList_New(0));
  PyObject* collector = gc ? gc.get() : Py_None;
  const bool started = queue && (!built || PyList_Append(queue.get(), built.get()) == 0) &&
                       start_releasing(queue.get(), collector);
  if (!started) {
    PyErr_Clear();  // no thread: freed here, at once, and collection goes on
    built = PyRef();
    queue = PyRef();
    enable_collection(collector);
  }
  PyErr_Restore(type, value, traceback);
}

void release_in_background(vt::Report& report) {
  Py_BEGIN_ALLOW_THREADS
  try {
    std::thread([gone = std::move(report)] { (void)gone; }).detach();
  } catch (const std::system_error&) {
    vt::Report gone = std::move(report);  // no thread to be had: freed here
  }
  Py_END_ALLOW_THREADS
}

}  // namespace vtpy
