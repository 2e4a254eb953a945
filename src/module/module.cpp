// The vellumtrace module object: its five functions, `__all__` (their names
// alone), its (empty) docstring, `__version__`, the `Timeline` type, and the
// guard that keeps it to one interpreter per process.
// Initialising again in the same interpreter hands back the module already made.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdint>

#include "module/docstrings.hpp"
#include "module/functions.hpp"
#include "module/py_ref.hpp"
#include "module/timeline_type.hpp"

#ifndef VELLUMTRACE_VERSION
#error "VELLUMTRACE_VERSION is defined by the build from pyproject.toml"
#endif

namespace {

constexpr std::int64_t kNoInterpreter = -1;

// The interpreter that first initialised the module, and the module it got
// (a borrowed reference: the interpreter keeps it alive; cleared when freed).
std::atomic<std::int64_t> g_owner_interpreter{kNoInterpreter};
PyObject* g_module = nullptr;

PyMethodDef g_methods[] = {
    {"parse", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(vtpy::parse)),
     METH_VARARGS | METH_KEYWORDS, vtpy::doc::kParse},
    {"convert", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(vtpy::convert)),
     METH_VARARGS | METH_KEYWORDS, vtpy::doc::kConvert},
    {"to_json", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(vtpy::to_json)),
     METH_VARARGS | METH_KEYWORDS, vtpy::doc::kToJson},
    {"to_jsonl", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(vtpy::to_jsonl)),
     METH_VARARGS | METH_KEYWORDS, vtpy::doc::kToJsonl},
    {"to_csv", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(vtpy::to_csv)),
     METH_VARARGS | METH_KEYWORDS, vtpy::doc::kToCsv},
    {nullptr, nullptr, 0, nullptr}};

void forget_module(void* module) {
  if (module == g_module) g_module = nullptr;
}

PyModuleDef g_definition = {PyModuleDef_HEAD_INIT,
                            "vellumtrace",
                            vtpy::doc::kModule,
                            0,
                            g_methods,
                            nullptr,
                            nullptr,
                            nullptr,
                            forget_module};

bool add_all_list(PyObject* module) {
  vtpy::PyRef names(PyList_New(0));
  if (!names) return false;
  for (const PyMethodDef* method = g_methods; method->ml_name != nullptr; ++method) {
    vtpy::PyRef name(PyUnicode_FromString(method->ml_name));
    if (!name || PyList_Append(names.get(), name.get()) < 0) return false;
  }
  if (PyModule_AddObject(module, "__all__", names.get()) < 0) return false;
  names.release();  // the module took the reference
  return true;
}

// True when this interpreter may hold the module; ImportError set otherwise.
bool claim_interpreter() {
  PyInterpreterState* state = PyInterpreterState_Get();
  const std::int64_t id = PyInterpreterState_GetID(state);
  if (id < 0) return false;
  std::int64_t expected = kNoInterpreter;
  if (g_owner_interpreter.compare_exchange_strong(expected, id) || expected == id) return true;
  PyErr_SetString(PyExc_ImportError,
                  "vellumtrace can be initialised in only one interpreter per process");
  return false;
}

}  // namespace

namespace vtpy {

// The module, for the types' methods (its PanicException); borrowed.
PyObject* module_object() { return g_module; }

}  // namespace vtpy

PyMODINIT_FUNC PyInit_vellumtrace(void) {
  if (!claim_interpreter()) return nullptr;
  if (g_module != nullptr) {
    Py_INCREF(g_module);
    return g_module;
  }
  vtpy::PyRef module(PyModule_Create(&g_definition));
  if (!module || !add_all_list(module.get()) ||
      PyModule_AddStringConstant(module.get(), "__version__", VELLUMTRACE_VERSION) < 0 ||
      !vtpy::add_timeline_type(module.get())) {
    return nullptr;
  }
  g_module = module.get();
  return module.release();
}
