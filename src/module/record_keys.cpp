#include "module/record_keys.hpp"

namespace vtpy {

namespace {

constexpr std::array<const char*, static_cast<std::size_t>(Key::Count)> kNames = {
    "events", "diagnostics",
    "artifact", "event_id", "event_type", "fs_times", "message", "provider", "raw",
    "schema_version", "sequence", "session_id", "source", "source_file_sha256", "timestamp",
    "timestamp_raw", "timestamp_source", "warnings", "working_directory",
    "artifact_kind", "line_number", "record_type", "relative_path", "source_id",
    "content", "content_encoding", "media_type", "reference_status", "resolved_path", "sha256",
    "size", "snapshot_version",
    "accessed", "created", "modified",
    "code", "severity"};

}  // namespace

bool RecordKeys::create() {
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    keys_[i] = PyRef(PyUnicode_InternFromString(kNames[i]));
    if (!keys_[i]) return false;
  }
  return true;
}

}  // namespace vtpy
