#include "module/arrow_capsules.hpp"

#include <new>

#include "columns/arrow_export.hpp"

namespace vtpy {

namespace {

constexpr char kSchemaName[] = "arrow_schema";
constexpr char kStreamName[] = "arrow_array_stream";

// A consumer that took the structure over left it released (release null).
template <class Structure, const char* Name>
void drop(PyObject* capsule) {
  auto* structure = static_cast<Structure*>(PyCapsule_GetPointer(capsule, Name));
  if (structure == nullptr) {
    PyErr_Clear();
    return;
  }
  if (structure->release != nullptr) structure->release(structure);
  delete structure;
}

template <class Structure>
PyObject* wrap(Structure* filled, const char* name, PyCapsule_Destructor drop) {
  PyObject* capsule = PyCapsule_New(filled, name, drop);
  if (capsule == nullptr) {
    filled->release(filled);
    delete filled;
  }
  return capsule;
}

}  // namespace

PyObject* schema_capsule(const vt::columns::Field& schema) {
  auto* out = new (std::nothrow) ArrowSchema{};
  if (out == nullptr || !vt::columns::export_schema(schema, out)) {
    delete out;
    return PyErr_NoMemory();
  }
  return wrap(out, kSchemaName, drop<ArrowSchema, kSchemaName>);
}

PyObject* stream_capsule(std::shared_ptr<const vt::columns::ColumnTable> table) {
  auto* out = new (std::nothrow) ArrowArrayStream{};
  if (out == nullptr || !vt::columns::export_stream(std::move(table), out)) {
    delete out;
    return PyErr_NoMemory();
  }
  return wrap(out, kStreamName, drop<ArrowArrayStream, kStreamName>);
}

}  // namespace vtpy
