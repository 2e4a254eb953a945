#include "module/report_to_python.hpp"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "module/gc_pause.hpp"
#include "module/json_to_python.hpp"
#include "module/py_ref.hpp"
#include "module/record_keys.hpp"
#include "module/stepped_release.hpp"
#include "module/values.hpp"
#include "module/watched_run.hpp"

namespace vtpy {

namespace {

PyRef none() { return PyRef::borrow(Py_None); }

PyRef text(const std::string& value) { return PyRef(str_from_utf8(value)); }
PyRef text(const std::optional<std::string>& value) { return value ? text(*value) : none(); }
PyRef text(const vt::SharedString& value) { return text(value.str()); }
PyRef text(std::string_view value) {
  return PyRef(PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "replace"));
}
PyRef text(const vt::OptionalShared& value) { return value ? text(*value) : none(); }

PyRef number(std::uint64_t value) { return PyRef(PyLong_FromUnsignedLongLong(value)); }
PyRef number(const std::optional<std::uint64_t>& value) { return value ? number(*value) : none(); }

PyRef instant(const std::optional<vt::Instant>& value) {
  return value ? text(value->text()) : none();
}

PyRef json(const vt::RawTimestamp& value, SignalPoll& poll) {
  if (const auto text = value.string()) {
    // As a held JSON string converts.
    if (!poll.step()) return PyRef(nullptr);
    return PyRef(PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "replace"));
  }
  return value.held() != nullptr ? PyRef(json_to_python(*value.held(), poll)) : none();
}

// The str of each shared text (path, digest, session, directory, record
// type, warning) made once per call: the events of a file repeat the same
// few, so most lookups find the object of the event before.
class SharedTexts {
 public:
  PyRef get(const vt::SharedString& value) {
    const std::string* id = &value.str();  // one address per shared copy
    Slot& slot = slots_[(reinterpret_cast<std::uintptr_t>(id) >> 4) % kSlots];
    if (slot.id == id && slot.object) return PyRef::borrow(slot.object.get());
    PyRef created = text(value.str());
    if (!created) return {};
    slot.id = id;
    slot.object = PyRef::borrow(created.get());
    return created;
  }
  PyRef get(const vt::OptionalShared& value) { return value ? get(*value) : none(); }

 private:
  static constexpr std::size_t kSlots = 256;
  struct Slot {
    const std::string* id = nullptr;
    PyRef object;
  };
  std::array<Slot, kSlots> slots_;
};

// Builds the Python objects of one report; holds the per-call keys and the
// wire strings already made, so repeated values share one object.
class Builder {
 public:
  bool create() {
    if (!keys_.create()) return false;
    event_template_ = template_of({Key::Artifact, Key::EventId, Key::EventType, Key::FsTimes, Key::Message,
                                   Key::Provider, Key::Raw, Key::SchemaVersion, Key::Sequence, Key::SessionId,
                                   Key::Source, Key::SourceFileSha256, Key::Timestamp, Key::TimestampRaw,
                                   Key::TimestampSource, Key::Warnings, Key::WorkingDirectory});
    artifact_template_ = template_of({Key::Content, Key::ContentEncoding, Key::MediaType, Key::ReferenceStatus,
                                      Key::ResolvedPath, Key::Sha256, Key::Size, Key::SnapshotVersion});
    schema_version_ = text(vt::Event::schema_version);
    return event_template_ && artifact_template_ && schema_version_;
  }

  PyRef report(const vt::Report& report) {
    PyRef result(PyDict_New());
    if (!result) return {};
    const bool ok =
        put(result, Key::Events,
            list_of(report.events, [this](const vt::Event& e) { return event_dict(e); })) &&
        put(result, Key::Diagnostics, list_of(report.diagnostics, [this](const vt::Diagnostic& d) {
              return diagnostic_dict(d);
            }));
    if (!ok && !dropped_) dropped_ = std::move(result);
    return ok ? std::move(result) : PyRef();
  }

  // What a failed build had made (freed by the caller, in its own time).
  PyRef take_dropped() { return std::move(dropped_); }

 private:
  // A list with one converted item per record, in order. The build stops
  // now and then for the interpreter's signal handlers (per record here, per
  // value inside raw records); one that raises drops what was built, freed
  // in steps after the call.
  template <class Record, class Convert>
  PyRef list_of(const std::vector<Record>& records, Convert convert) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(records.size())));
    if (!list) return {};
    Py_ssize_t index = 0;
    for (const Record& record : records) {
      PyRef item = poll_.step() ? convert(record) : PyRef();
      if (!item) {
        // Slots not filled yet hold nullptr, which a list's freeing skips.
        dropped_ = std::move(list);
        return {};
      }
      PyList_SetItem(list.get(), index++, item.release());  // steals the item
    }
    return list;
  }

  static bool append(const PyRef& list, PyRef item) {
    return item && PyList_Append(list.get(), item.get()) == 0;
  }

  bool put(const PyRef& dict, Key key, PyRef value) {
    return value && PyDict_SetItem(dict.get(), keys_[key], value.get()) == 0;
  }

  // A dict holding `keys` in this order, every value None. A record copied
  // from it is sized for all its keys at once (a new dict would grow on the
  // way) and keeps the key order when its values are set.
  PyRef template_of(std::initializer_list<Key> keys) {
    PyRef dict(PyDict_New());
    if (!dict) return {};
    for (Key key : keys) {
      if (!put(dict, key, none())) return {};
    }
    return dict;
  }
  static PyRef copy_of(const PyRef& model) { return PyRef(PyDict_Copy(model.get())); }

  template <class Enum>
  PyRef word(Enum value) {
    const std::string_view name = vt::wire_name(value);
    auto found = words_.find(name);
    if (found != words_.end()) return PyRef::borrow(found->second.get());
    PyRef created(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
    if (!created) return {};
    PyRef shared = PyRef::borrow(created.get());
    words_.emplace(name, std::move(created));
    return shared;
  }

  template <class Enum>
  PyRef word(const std::optional<Enum>& value) {
    return value ? word(*value) : none();
  }

  PyRef warnings(const vt::WarningList& items) {
    PyRef list(PyList_New(0));
    if (!list) return {};
    for (const vt::SharedString& item : items) {
      if (!append(list, shared_.get(item))) return {};
    }
    return list;
  }

  PyRef source_dict(const vt::SourceRef& source) {
    PyRef dict(PyDict_New());
    if (!dict) return {};
    const bool ok = put(dict, Key::ArtifactKind, word(source.artifact_kind)) &&
                    put(dict, Key::LineNumber, number(source.line_number)) &&
                    put(dict, Key::RecordType, shared_.get(source.record_type)) &&
                    put(dict, Key::RelativePath, shared_.get(source.relative_path)) &&
                    put(dict, Key::SourceId, text(source.source_id));
    return ok ? std::move(dict) : PyRef();
  }

  PyRef artifact_dict(const vt::Boxed<vt::Artifact>& artifact) {
    if (!artifact) return none();
    PyRef dict = copy_of(artifact_template_);
    if (!dict) return {};
    const bool ok = put(dict, Key::Content, text(artifact->content)) &&
                    put(dict, Key::ContentEncoding, word(artifact->content_encoding)) &&
                    put(dict, Key::MediaType, text(artifact->media_type)) &&
                    put(dict, Key::ReferenceStatus, word(artifact->reference_status)) &&
                    put(dict, Key::ResolvedPath, text(artifact->resolved_path)) &&
                    put(dict, Key::Sha256, text(artifact->sha256)) &&
                    put(dict, Key::Size, number(artifact->size)) &&
                    put(dict, Key::SnapshotVersion, number(artifact->snapshot_version));
    return ok ? std::move(dict) : PyRef();
  }

  PyRef fs_times_dict(const vt::Boxed<vt::FsTimes>& times) {
    if (!times) return none();
    PyRef dict(PyDict_New());
    if (!dict) return {};
    const bool ok = put(dict, Key::Accessed, instant(times->accessed)) &&
                    put(dict, Key::Created, instant(times->created)) &&
                    put(dict, Key::Modified, instant(times->modified));
    return ok ? std::move(dict) : PyRef();
  }

  PyRef event_dict(const vt::Event& event) {
    PyRef dict = copy_of(event_template_);
    if (!dict) return {};
    const bool ok = put(dict, Key::Artifact, artifact_dict(event.artifact)) &&
                    put(dict, Key::EventId, text(event.event_id.view())) &&
                    put(dict, Key::EventType, word(event.event_type)) &&
                    put(dict, Key::FsTimes, fs_times_dict(event.fs_times)) &&
                    put(dict, Key::Message, text(event.message)) &&
                    put(dict, Key::Provider, word(event.provider)) &&
                    put(dict, Key::Raw, raw(event.raw)) &&
                    put(dict, Key::SchemaVersion, PyRef::borrow(schema_version_.get())) &&
                    put(dict, Key::Sequence, number(event.sequence)) &&
                    put(dict, Key::SessionId, shared_.get(event.session_id)) &&
                    put(dict, Key::Source, source_dict(event.source)) &&
                    put(dict, Key::SourceFileSha256, shared_.get(event.source_file_sha256)) &&
                    put(dict, Key::Timestamp, instant(event.timestamp)) &&
                    put(dict, Key::TimestampRaw, json(event.timestamp_raw, poll_)) &&
                    put(dict, Key::TimestampSource, word(event.timestamp_source)) &&
                    put(dict, Key::Warnings, warnings(event.warnings)) &&
                    put(dict, Key::WorkingDirectory, shared_.get(event.working_directory));
    return ok ? std::move(dict) : PyRef();
  }

  // An event's raw record. The events of one record share it (a transcript
  // line of 8,000 blocks gives 8,000 events): they get one object, made
  // once, as they share one record in the report.
  PyRef raw(const vt::SharedValue<vt::Json>& value) {
    if (!value) return none();
    if (last_raw_object_ && last_raw_.shares(value)) return PyRef::borrow(last_raw_object_.get());
    PyRef made(json_to_python(*value, poll_));
    if (made && value.is_shared()) {
      last_raw_ = value;
      last_raw_object_ = PyRef::borrow(made.get());
    }
    return made;
  }

  PyRef diagnostic_dict(const vt::Diagnostic& diagnostic) {
    PyRef dict(PyDict_New());
    if (!dict) return {};
    const bool ok =
        put(dict, Key::Code, word(diagnostic.code)) &&
        put(dict, Key::Message, text(diagnostic.message)) &&
        put(dict, Key::Severity, word(diagnostic.severity)) &&
        put(dict, Key::Source, diagnostic.source ? source_dict(*diagnostic.source) : none());
    return ok ? std::move(dict) : PyRef();
  }

  RecordKeys keys_;
  std::unordered_map<std::string_view, PyRef> words_;
  SharedTexts shared_;
  SignalPoll poll_;
  PyRef event_template_, artifact_template_, schema_version_;
  PyRef dropped_;
  vt::SharedValue<vt::Json> last_raw_;
  PyRef last_raw_object_;
};

}  // namespace

PyObject* report_to_python(const vt::Report& report) {
  GcPause pause;
  Builder builder;
  if (!builder.create()) return nullptr;
  PyRef result = builder.report(report);
  // Interrupted: what was built goes in steps, collection paused until then.
  if (!result) release_in_steps(builder.take_dropped(), pause.hand_over());
  return result.release();
}

}  // namespace vtpy
