#include "module/errors.hpp"

#include <exception>
#include <new>

#include "module/py_ref.hpp"
#include "module/values.hpp"

namespace vtpy {

namespace {

constexpr const char* kPanicName = "PanicException";
constexpr const char* kNoDescription = "internal failure without a description";

// The module's PanicException class, created and stored on first use.
PyRef panic_class(PyObject* module) {
  if (module != nullptr && PyObject_HasAttrString(module, kPanicName)) {
    PyRef existing(PyObject_GetAttrString(module, kPanicName));
    if (existing && PyExceptionClass_Check(existing.get())) return existing;
    PyErr_Clear();
  }
  PyRef created(PyErr_NewExceptionWithDoc(
      "vellumtrace.PanicException",
      "Raised when vellumtrace reaches a state it treats as impossible (an internal fault).",
      PyExc_BaseException, nullptr));
  if (created && module != nullptr &&
      PyObject_SetAttrString(module, kPanicName, created.get()) < 0) {
    PyErr_Clear();  // still raise the class, even if it cannot be kept
  }
  return created;
}

}  // namespace

InternalFailure describe_current_exception() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return InternalFailure{{}, true};
  } catch (const std::exception& e) {
    try {
      return InternalFailure{e.what(), false};
    } catch (...) {
      return InternalFailure{{}, true};
    }
  } catch (...) {
    return InternalFailure{};
  }
}

void raise_parse_error(const vt::ParseError& error) {
  PyObject* type = error.kind() == vt::ParseErrorKind::Io ? PyExc_OSError : PyExc_ValueError;
  PyRef text(str_from_utf8(error.text()));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

void raise_internal_failure(PyObject* module, const InternalFailure& failure) {
  if (failure.out_of_memory) {
    PyErr_NoMemory();
    return;
  }
  PyRef type = panic_class(module);
  if (!type) return;
  PyRef text(str_from_utf8(failure.text.empty() ? std::string(kNoDescription) : failure.text));
  if (!text) return;
  PyErr_SetObject(type.get(), text.get());
}

void raise_call_error(PyObject* module, const CallError& error) {
  if (const auto* parse_error = std::get_if<vt::ParseError>(&error)) {
    raise_parse_error(*parse_error);
  } else if (const auto* failure = std::get_if<InternalFailure>(&error)) {
    raise_internal_failure(module, *failure);
  }
}

PyObject* take_pending_error_text(const char* fallback) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyObject* text = value != nullptr ? PyObject_Str(value) : PyUnicode_FromString(fallback);
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
  return text;
}

}  // namespace vtpy
