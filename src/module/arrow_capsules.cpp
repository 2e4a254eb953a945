#include "module/arrow_capsules.hpp"

#include <new>

#include "columns/arrow_export.hpp"

namespace vtpy {

namespace {

constexpr const char* kSchemaName = "arrow_schema";
constexpr const char* kStreamName = "arrow_array_stream";

// A consumer that took the structure over left it released (release null).
void drop_schema(PyObject* capsule) {
  auto* schema = static_cast<ArrowSchema*>(PyCapsule_GetPointer(capsule, kSchemaName));
  if (schema == nullptr) {
    PyErr_Clear();
    return;
  }
  if (schema->release != nullptr) schema->release(schema);
  delete schema;
}

void drop_stream(PyObject* capsule) {
  auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, kStreamName));
  if (stream == nullptr) {
    PyErr_Clear();
    return;
  }
  if (stream->release != nullptr) stream->release(stream);
  delete stream;
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
  return wrap(out, kSchemaName, drop_schema);
}

PyObject* stream_capsule(std::shared_ptr<const vt::columns::ColumnTable> table) {
  auto* out = new (std::nothrow) ArrowArrayStream{};
  if (out == nullptr || !vt::columns::export_stream(std::move(table), out)) {
    delete out;
    return PyErr_NoMemory();
  }
  return wrap(out, kStreamName, drop_stream);
}

}  // namespace vtpy
