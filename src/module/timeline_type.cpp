// `Timeline(*paths, ...)`: one run (lock released, answering signals) whose
// report becomes column tables straight from its records, no Python object
// per row; and the methods both column objects share: the Arrow PyCapsule
// interface, `len()`, `write_parquet`.
#include "module/timeline_type.hpp"

#include <atomic>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "columns/report_columns.hpp"
#include "core/driver.hpp"
#include "module/arrow_capsules.hpp"
#include "module/call_steps.hpp"
#include "module/column_object.hpp"
#include "module/docstrings.hpp"
#include "module/path_arg.hpp"
#include "module/py_ref.hpp"
#include "module/released.hpp"

namespace vtpy {

PyObject* module_object();

namespace {

using vt::columns::ColumnTable;

constexpr Param kTimelineParams[] = {Param::Documented,     Param::Collection,
                                     Param::Mode,           Param::IncludeRaw,
                                     Param::IncludeContent, Param::FollowSymlinks,
                                     Param::MaxLineSize,    Param::MaxContentSize,
                                     Param::Labels};
constexpr Signature kTimeline{"Timeline()", kTimelineParams, 0};

// Where a Timeline type keeps the type of its diagnostics object.
constexpr const char* kDiagnosticsTypeAttribute = "_diagnostics_type";

PyObject* refuse_new(PyTypeObject*, PyObject*, PyObject*);

// Whether `object` is the Diagnostics type (the attribute can be set from
// Python to anything: only the type this module made may be allocated).
bool is_diagnostics_type(PyObject* object) {
  if (!PyType_Check(object)) return false;
  auto* type = reinterpret_cast<PyTypeObject*>(object);
  return (PyType_GetFlags(type) & Py_TPFLAGS_HEAPTYPE) != 0 &&
         PyType_GetSlot(type, Py_tp_new) == reinterpret_cast<void*>(refuse_new);
}

// A new object of `type` holding `table`, read from `inputs`.
PyObject* holding(PyTypeObject* type, ColumnTable table, const std::shared_ptr<const vt::InputFiles>& inputs) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyRef self(alloc(type, 0));  // zeroed: no table, no diagnostics yet
  if (!self) return nullptr;
  try {
    column_object(self.get())->table = new std::shared_ptr<const ColumnTable>(
        std::make_shared<const ColumnTable>(std::move(table)));
    column_object(self.get())->inputs = new std::shared_ptr<const vt::InputFiles>(inputs);
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  return self.release();
}

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  ColumnObject* object = column_object(self);
  delete object->table;
  delete object->inputs;
  Py_XDECREF(object->diagnostics);
  auto free_memory = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_memory(self);
  Py_DECREF(type);
}

// The run and the building of its columns, both with the lock released.
std::optional<vt::columns::ReportTables> run_tables(PyObject* module, const std::vector<vt::RunInput>& paths,
                                                    const vt::ParseOptions& options,
                                                    const vt::columns::ColumnChoice& choice, vt::InputFiles& inputs) {
  std::atomic<bool> cancel{false};
  vt::ParseOptions watched = options;
  watched.cancel = &cancel;
  watched.inputs = &inputs;
  auto outcome = run_released(
      [&]() -> vt::Result<vt::columns::ReportTables> {
        vt::Report report;
        if (!paths.empty()) {
          vt::Result<vt::Report> run = vt::run(paths, watched);
          if (!run) return vt::fail(std::move(run.error()));
          report = std::move(*run);
        }
        return vt::columns::report_tables(report, choice, &cancel);
      },
      &cancel);
  if (!outcome) {
    raise_call_error(module, outcome.error());
    return std::nullopt;
  }
  return std::move(*outcome);
}

// The paths, each with its label when `labels` gives one per path.
bool convert_paths(PyObject* args, const CallArgs& call, std::vector<vt::RunInput>& paths) {
  const Py_ssize_t count = PyTuple_Size(args);
  if (count < 0) return false;
  if (!call.labels.empty() && call.labels.size() != static_cast<std::size_t>(count)) {
    PyErr_Format(PyExc_ValueError, "labels: %zu labels for %zd paths (give one per path)", call.labels.size(), count);
    return false;
  }
  if (!call.labels.empty() && call.documented) {
    PyErr_SetString(PyExc_ValueError, "labels: the documented reading names no input");
    return false;
  }
  for (Py_ssize_t i = 0; i < count; ++i) {
    vt::RunInput input;
    if (!convert_path(PyTuple_GetItem(args, i), input.path)) return false;
    if (!call.labels.empty()) input.label = call.labels[static_cast<std::size_t>(i)];
    paths.push_back(std::move(input));
  }
  return true;
}

PyObject* timeline_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* module = module_object();
  return guarded_call(module, [&]() -> PyObject* {
    CallArgs call;
    vt::ParseOptions options;
    if (!prepare_call(kTimeline, nullptr, kwargs, call, options)) return nullptr;
    options.reading = call.documented ? vt::Reading::Documented : vt::Reading::Full;
    std::vector<vt::RunInput> paths;
    if (!convert_paths(args, call, paths)) return nullptr;
    PyRef diagnostics_type(
        PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), kDiagnosticsTypeAttribute));
    if (!diagnostics_type) return nullptr;
    if (!is_diagnostics_type(diagnostics_type.get())) {
      PyErr_SetString(PyExc_TypeError, "Timeline._diagnostics_type is not the vellumtrace.Diagnostics type");
      return nullptr;
    }
    const vt::columns::ColumnChoice choice{call.collection, call.include_raw, call.include_content,
                                           !call.documented, options.threads};
    auto inputs = std::make_shared<vt::InputFiles>();
    std::optional<vt::columns::ReportTables> tables = run_tables(module, paths, options, choice, *inputs);
    if (!tables) return nullptr;
    PyRef diagnostics(holding(reinterpret_cast<PyTypeObject*>(diagnostics_type.get()),
                              std::move(tables->diagnostics), inputs));
    if (!diagnostics) return nullptr;
    PyRef timeline(holding(type, std::move(tables->events), inputs));
    if (!timeline) return nullptr;
    column_object(timeline.get())->diagnostics = diagnostics.release();
    return timeline.release();
  });
}

PyObject* refuse_new(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError,
                  "cannot create 'vellumtrace.Diagnostics' instances: a Timeline makes its own");
  return nullptr;
}

PyObject* arrow_c_schema(PyObject* self, PyObject*) {
  const auto* table = table_of(self);
  return table != nullptr ? schema_capsule((*table)->schema) : nullptr;
}

PyObject* arrow_c_stream(PyObject* self, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"requested_schema", nullptr};
  PyObject* requested = Py_None;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:__arrow_c_stream__", const_cast<char**>(names),
                                   &requested)) {
    return nullptr;
  }
  const auto* table = table_of(self);
  return table != nullptr ? stream_capsule(*table) : nullptr;
}

Py_ssize_t length(PyObject* self) {
  const auto* table = table_of(self);
  return table != nullptr ? static_cast<Py_ssize_t>((*table)->rows()) : -1;
}

PyObject* get_diagnostics(PyObject* self, void*) {
  PyObject* diagnostics = column_object(self)->diagnostics;
  if (diagnostics == nullptr) {
    PyErr_SetString(PyExc_RuntimeError, "this Timeline holds no diagnostics");
    return nullptr;
  }
  Py_INCREF(diagnostics);
  return diagnostics;
}

PyObject* repr(PyObject* self) {
  const auto* table = table_of(self);
  if (table == nullptr) return nullptr;
  const ColumnObject* object = column_object(self);
  if (object->diagnostics == nullptr) {
    return PyUnicode_FromFormat("<vellumtrace diagnostics: %llu rows>",
                                static_cast<unsigned long long>((*table)->rows()));
  }
  const auto* diagnostics = table_of(object->diagnostics);
  if (diagnostics == nullptr) return nullptr;
  return PyUnicode_FromFormat("<vellumtrace.Timeline: %llu events, %llu diagnostics>",
                              static_cast<unsigned long long>((*table)->rows()),
                              static_cast<unsigned long long>((*diagnostics)->rows()));
}

PyMethodDef g_methods[] = {
    {"__arrow_c_stream__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(arrow_c_stream)),
     METH_VARARGS | METH_KEYWORDS, doc::kArrowCStream},
    {"__arrow_c_schema__", arrow_c_schema, METH_NOARGS, doc::kArrowCSchema},
    {"write_parquet", write_parquet, METH_O, doc::kWriteParquet},
    {nullptr, nullptr, 0, nullptr}};

PyGetSetDef g_timeline_getset[] = {
    {"diagnostics", get_diagnostics, nullptr, "The run's diagnostics as Arrow columns.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyType_Slot g_timeline_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(timeline_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_methods, g_methods},
    {Py_tp_getset, g_timeline_getset},
    {Py_mp_length, reinterpret_cast<void*>(length)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_doc, const_cast<char*>(doc::kTimeline)},
    {0, nullptr}};

PyType_Slot g_diagnostics_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(refuse_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_methods, g_methods},
    {Py_mp_length, reinterpret_cast<void*>(length)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_doc, const_cast<char*>(doc::kDiagnostics)},
    {0, nullptr}};

PyType_Spec g_timeline_spec = {"vellumtrace.Timeline", sizeof(ColumnObject), 0, Py_TPFLAGS_DEFAULT,
                               g_timeline_slots};
PyType_Spec g_diagnostics_spec = {"vellumtrace.Diagnostics", sizeof(ColumnObject), 0,
                                  Py_TPFLAGS_DEFAULT, g_diagnostics_slots};

}  // namespace

const std::shared_ptr<const ColumnTable>* table_of(PyObject* self) {
  const auto* table = column_object(self)->table;
  if (table == nullptr) PyErr_SetString(PyExc_RuntimeError, "this object holds no columns");
  return table;
}

bool add_timeline_type(PyObject* module) {
  PyRef diagnostics(PyType_FromSpec(&g_diagnostics_spec));
  PyRef timeline(PyType_FromSpec(&g_timeline_spec));
  if (!diagnostics || !timeline) return false;
  if (PyObject_SetAttrString(timeline.get(), kDiagnosticsTypeAttribute, diagnostics.get()) < 0) return false;
  if (PyModule_AddObject(module, "Timeline", timeline.get()) < 0) return false;
  timeline.release();  // the module took the reference
  return true;
}

}  // namespace vtpy
