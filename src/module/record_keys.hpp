// The dict keys of the Python report, created once per call so that the
// thousands of records of a large report share them.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "module/py_ref.hpp"

namespace vtpy {

enum class Key : std::uint8_t {
  Events, Diagnostics,
  // event
  Artifact, EventId, EventType, FsTimes, Message, Provider, Raw, SchemaVersion, Sequence,
  SessionId, Source, SourceFileSha256, Timestamp, TimestampRaw, TimestampSource, Warnings,
  WorkingDirectory,
  // source
  ArtifactKind, LineNumber, RecordType, RelativePath, SourceId,
  // artifact
  Content, ContentEncoding, MediaType, ReferenceStatus, ResolvedPath, Sha256, Size,
  SnapshotVersion,
  // fs_times
  Accessed, Created, Modified,
  // diagnostic
  Code, Severity,
  Count
};

class RecordKeys {
 public:
  // False with an exception set.
  bool create();
  PyObject* operator[](Key key) const { return keys_[static_cast<std::size_t>(key)].get(); }

 private:
  std::array<PyRef, static_cast<std::size_t>(Key::Count)> keys_;
};

}  // namespace vtpy
