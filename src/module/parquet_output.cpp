// `write_parquet`: a column object written to a Parquet file by pyarrow,
// which reads the columns through the Arrow C stream without a copy. pyarrow
// is optional (the `parquet` extra); without it the call says so. The file
// is written beside the destination under a temporary name and renamed over
// it once complete, so a failed or interrupted call leaves the destination
// as it was and nothing is ever written through a link there; a destination
// that is one of the run's input files is refused before anything is made.
#include <cerrno>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "module/column_object.hpp"
#include "module/path_arg.hpp"
#include "module/py_ref.hpp"
#include "module/values.hpp"
#include "output/sink.hpp"

namespace vtpy {

namespace {

// pyarrow's `module`, or nullptr with ImportError naming the extra.
PyRef import_pyarrow(const char* module) {
  PyRef imported(PyImport_ImportModule(module));
  if (!imported && PyErr_ExceptionMatches(PyExc_ImportError)) {
    PyErr_Clear();
    PyErr_SetString(PyExc_ImportError,
                    "write_parquet needs pyarrow: pip install 'vellumtrace[parquet]'");
  }
  return imported;
}

// OSError "Cannot create '{path}': {error}"; returns nullptr.
PyObject* cannot_create(const std::filesystem::path& path, const std::error_code& error) {
  PyRef message(str_from_utf8(vt::cannot_create_message(path, error)));
  if (message) PyErr_SetObject(PyExc_OSError, message.get());
  return nullptr;
}

mode_t creation_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// A new empty file beside `destination` (".{name}.partial-XXXXXX"), with the
// mode the destination has or a new file would get; its path, or empty with
// `error` set.
std::string temporary_beside(const std::filesystem::path& destination, std::error_code& error) {
  const std::filesystem::path directory =
      destination.has_parent_path() ? destination.parent_path() : std::filesystem::path(".");
  std::string pattern = (directory / ("." + destination.filename().native() + ".partial-XXXXXX")).native();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    error = std::error_code(errno, std::system_category());
    return {};
  }
  struct stat existing{};
  const bool regular = ::lstat(destination.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
  ::fchmod(fd, regular ? (existing.st_mode & 07777) : creation_mode());
  ::close(fd);
  return pattern;
}

}  // namespace

PyObject* write_parquet(PyObject* self, PyObject* path) {
  if (table_of(self) == nullptr) return nullptr;
  std::string checked;
  if (!convert_path(path, checked)) return nullptr;
  const std::filesystem::path destination(checked);
  const auto* inputs = column_object(self)->inputs;
  if (inputs != nullptr && *inputs) {
    if (const std::error_code refused = vt::output_names_an_input(destination, **inputs)) {
      return cannot_create(destination, refused);
    }
  }
  PyRef pyarrow = import_pyarrow("pyarrow");
  if (!pyarrow) return nullptr;
  PyRef parquet = import_pyarrow("pyarrow.parquet");
  if (!parquet) return nullptr;
  PyRef table(PyObject_CallMethod(pyarrow.get(), "table", "O", self));
  if (!table) return nullptr;
  std::error_code error;
  const std::string temporary = temporary_beside(destination, error);
  if (temporary.empty()) return cannot_create(destination, error);
  PyRef temporary_name(PyUnicode_DecodeFSDefault(temporary.c_str()));
  PyRef written(temporary_name ? PyObject_CallMethod(parquet.get(), "write_table", "OO", table.get(),
                                                     temporary_name.get())
                               : nullptr);
  if (!written) {
    ::unlink(temporary.c_str());  // the exception (an interrupt too) stays set
    return nullptr;
  }
  if (::rename(temporary.c_str(), destination.c_str()) != 0) {
    error = std::error_code(errno, std::system_category());
    ::unlink(temporary.c_str());
    return cannot_create(destination, error);
  }
  Py_RETURN_NONE;
}

}  // namespace vtpy
