#include "module/gc_pause.hpp"

namespace vtpy {

GcPause::GcPause() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyRef gc(PyImport_ImportModule("gc"));
  PyRef enabled(gc ? PyObject_CallMethod(gc.get(), "isenabled", nullptr) : nullptr);
  if (enabled && enabled.get() == Py_True) {
    PyRef done(PyObject_CallMethod(gc.get(), "disable", nullptr));
    if (done) gc_ = std::move(gc);
  }
  PyErr_Clear();  // without a pause the build is only slower
  PyErr_Restore(type, value, traceback);
}

GcPause::~GcPause() {
  if (!gc_) return;
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyRef done(PyObject_CallMethod(gc_.get(), "enable", nullptr));
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
}

}  // namespace vtpy
