// read_jsonl_records: the per-file record loop shared by every line-oriented
// input. It turns lines into JSON objects, reports the per-line problems as
// diagnostics (or ends a strict run), hands each object to the adapter's
// handler, and stamps the file's SHA-256 on every event the file produced.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "core/records.hpp"

namespace vt {

// Where a handler puts what it makes of one record.
struct RecordSink {
  std::vector<Event>& events;
  std::vector<Diagnostic>& diagnostics;
};

// Called once per JSON object, in file order. `object` is a JSON object (the
// last of repeated keys wins).
using RecordHandler = std::function<void(const Json& object, std::uint64_t line_number,
                                         const std::string& relative_path, RecordSink& sink)>;

struct FileRecords {
  std::vector<Event> events;
  std::vector<Diagnostic> diagnostics;
  std::string sha256;  // lowercase hex of every byte of the file
};

// `root` is the run's base directory (for relative paths); `kind` labels the
// loop's own diagnostics.
Result<FileRecords> read_jsonl_records(const std::filesystem::path& path,
                                       const std::filesystem::path& root,
                                       const ParseOptions& options, ArtifactKind kind,
                                       const RecordHandler& handler);

}  // namespace vt
