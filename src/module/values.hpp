// Conversion of single Python argument values into plain C++ values (text,
// flags, sizes), with the TypeError texts that name the argument.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vtpy {

// The qualified name of the object's type ("int", "bytes").
std::string type_qualname(PyObject* object);

// UTF-8 text of a `str`; UnicodeEncodeError (set) for lone surrogates.
bool utf8_of(PyObject* text, std::string& out);

// A new `str` from UTF-8 text; invalid sequences become U+FFFD.
PyObject* str_from_utf8(const std::string& text);

// TypeError "'{type}' object cannot be converted to '{target}'".
void set_conversion_error(PyObject* object, const char* target);

// Argument conversions; `name` is the parameter, shown in the TypeError texts.
bool convert_text(const char* name, PyObject* value, std::string& out);
bool convert_flag(const char* name, PyObject* value, bool& out);
bool convert_size(const char* name, PyObject* value, std::uint64_t& out);
// A list or tuple of `str`.
bool convert_texts(const char* name, PyObject* value, std::vector<std::string>& out);

}  // namespace vtpy
