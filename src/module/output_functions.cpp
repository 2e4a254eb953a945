// `to_json`, `to_jsonl`, `to_csv` (the rendering as a str) and `convert`
// (the rendering streamed into a file).
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <variant>

#include "core/input_files.hpp"
#include "module/call_steps.hpp"
#include "module/errors.hpp"
#include "module/functions.hpp"
#include "module/py_ref.hpp"
#include "module/released.hpp"
#include "module/rendering.hpp"
#include "module/values.hpp"

namespace vtpy {

namespace {

constexpr Param kToJsonParams[] = {Param::Path,           Param::Mode,        Param::IncludeRaw,
                                   Param::IncludeContent, Param::Pretty,      Param::FollowSymlinks,
                                   Param::MaxLineSize,    Param::MaxContentSize};
constexpr Param kToJsonlParams[] = {Param::Path,           Param::Mode,
                                    Param::IncludeRaw,     Param::IncludeContent,
                                    Param::FollowSymlinks, Param::MaxLineSize,
                                    Param::MaxContentSize};
constexpr Param kToCsvParams[] = {Param::Path,           Param::Mode,           Param::IncludeContent,
                                  Param::IncludeMessage, Param::IncludeRaw,     Param::FollowSymlinks,
                                  Param::MaxLineSize,    Param::MaxContentSize};
constexpr Param kConvertParams[] = {
    Param::Path,           Param::OutputPath,     Param::Format,      Param::Mode,
    Param::IncludeRaw,     Param::IncludeContent, Param::IncludeMessage, Param::FollowSymlinks,
    Param::MaxLineSize,    Param::MaxContentSize};

constexpr Signature kToJson{"to_json()", kToJsonParams, 1};
constexpr Signature kToJsonl{"to_jsonl()", kToJsonlParams, 1};
constexpr Signature kToCsv{"to_csv()", kToCsvParams, 1};
constexpr Signature kConvert{"convert()", kConvertParams, 2};

RenderOptions render_options(Format format, const CallArgs& call, bool pretty,
                             const vt::ParseOptions& parsed_with) {
  RenderOptions options;
  options.threads = parsed_with.threads;
  options.format = format;
  options.pretty = pretty;
  options.csv.include_message = call.include_message;
  options.csv.include_content = call.include_content;
  return options;
}

// A new str from the rendered bytes; ValueError when they are not UTF-8.
PyObject* text_result(const std::string& bytes) {
  PyObject* text =
      PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "strict");
  if (text != nullptr || !PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) return text;
  PyRef detail(take_pending_error_text("invalid bytes"));
  if (!detail) return nullptr;
  PyErr_Format(PyExc_ValueError, "Output is not valid UTF-8: %U", detail.get());
  return nullptr;
}

// The three string-returning functions: run, render into memory, make a str.
PyObject* render_to_text(PyObject* module, const Signature& signature, Format format,
                         PyObject* args, PyObject* kwargs) {
  return guarded_call(module, [&]() -> PyObject* {
    CallArgs call;
    vt::ParseOptions options;
    if (!prepare_call(signature, args, kwargs, call, options)) return nullptr;
    std::optional<vt::Report> report = run_parse(module, call.path, options);
    if (!report) return nullptr;
    const RenderOptions render_with = render_options(format, call, call.pretty, options);
    std::atomic<bool> cancel{false};
    auto rendered = run_released([&]() -> vt::Result<std::string> {
      vt::MemorySink sink;
      sink.buffer().reserve(rendering_size_hint(*report));
      vt::CancellableSink watched(sink, cancel);
      vt::Status status = render(*report, render_with, watched);
      *report = vt::Report{};
      if (!status) return vt::fail(std::move(status.error()));
      return std::move(sink.buffer());
    }, &cancel);
    if (!rendered) {
      raise_call_error(module, rendered.error());
      return nullptr;
    }
    return text_result(*rendered);
  });
}

// Creates (or truncates) the destination with the lock released; a file on
// a slow or blocking file system must not hold up other threads, and a FIFO
// waiting for its reader answers a signal (which sets `cancel`). A file the
// run read is refused before anything is opened.
std::unique_ptr<vt::FileSink> create_destination(PyObject* module, const std::string& path,
                                                 const vt::InputFiles& inputs,
                                                 std::atomic<bool>& cancel) {
  const std::filesystem::path destination(path);
  std::unique_ptr<vt::FileSink> sink;
  std::error_code failed;
  auto outcome = run_released([&]() -> vt::Status {
    failed = vt::output_names_an_input(destination, inputs);
    if (failed) return {};
    auto file = vt::FileSink::create(destination, &cancel);
    if (file) {
      sink = std::move(*file);
    } else {
      failed = file.error();
    }
    return {};
  }, &cancel);
  if (!outcome) {
    // Interrupted meanwhile: a file the call made goes again.
    if (sink && std::holds_alternative<PendingException>(outcome.error())) sink->remove_if_created();
    raise_call_error(module, outcome.error());
    return nullptr;
  }
  if (failed) {
    PyRef message(str_from_utf8(vt::cannot_create_message(destination, failed)));
    if (message) PyErr_SetObject(PyExc_OSError, message.get());
    return nullptr;
  }
  return sink;
}

}  // namespace

PyObject* to_json(PyObject* module, PyObject* args, PyObject* kwargs) {
  return render_to_text(module, kToJson, Format::Json, args, kwargs);
}

PyObject* to_jsonl(PyObject* module, PyObject* args, PyObject* kwargs) {
  return render_to_text(module, kToJsonl, Format::Jsonl, args, kwargs);
}

PyObject* to_csv(PyObject* module, PyObject* args, PyObject* kwargs) {
  return render_to_text(module, kToCsv, Format::Csv, args, kwargs);
}

PyObject* convert(PyObject* module, PyObject* args, PyObject* kwargs) {
  return guarded_call(module, [&]() -> PyObject* {
    CallArgs call;
    vt::ParseOptions options;
    if (!prepare_call(kConvert, args, kwargs, call, options)) return nullptr;
    vt::InputFiles inputs;
    std::optional<vt::Report> report = run_parse(module, call.path, options, &inputs);
    if (!report) return nullptr;
    const std::optional<Format> format = format_named(call.format);
    if (!format) {
      PyRef name(str_from_utf8(call.format));
      if (name) {
        PyErr_Format(PyExc_ValueError,
                     "Invalid format '%U': expected 'json', 'jsonl', or 'csv'", name.get());
      }
      discard_released(*report);
      return nullptr;
    }
    std::atomic<bool> cancel{false};
    std::unique_ptr<vt::FileSink> sink = create_destination(module, call.output_path, inputs, cancel);
    if (!sink) {
      discard_released(*report);
      return nullptr;
    }
    // The file always gets the pretty JSON document.
    const RenderOptions render_with = render_options(*format, call, true, options);
    auto written = run_released([&]() -> vt::Status {
      vt::CancellableSink watched(*sink, cancel);
      vt::Status status = render(*report, render_with, watched);
      *report = vt::Report{};
      return status;
    }, &cancel);
    const bool interrupted = !written && std::holds_alternative<PendingException>(written.error());
    Py_BEGIN_ALLOW_THREADS
    // An interrupted call leaves no half-written file of its own behind;
    // what was there before (a device, a FIFO, a link, a file) stays.
    if (interrupted) sink->remove_if_created();
    sink.reset();  // closes the file
    Py_END_ALLOW_THREADS
    if (!written) {
      raise_call_error(module, written.error());
      return nullptr;
    }
    Py_RETURN_NONE;
  });
}

}  // namespace vtpy
