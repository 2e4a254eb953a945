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
#include "jsonl/byte_source.hpp"
#include "jsonl/json_view.hpp"

namespace vt {

// Where a handler puts what it makes of one record.
struct RecordSink {
  std::vector<Event>& events;
  std::vector<Diagnostic>& diagnostics;
};

// Called once per JSON object, in file order. `object` is a JSON object (the
// last of repeated keys wins), or any JSON value under `pass_non_objects`; it
// reads the parser's buffers and lives only for the call, so a handler builds
// what it keeps (`held_copy`).
using RecordHandler = std::function<void(JsonView object, std::uint64_t line_number,
                                         const SharedString& relative_path, RecordSink& sink)>;

struct FileRecords {
  std::vector<Event> events;
  std::vector<Diagnostic> diagnostics;
  std::string sha256;  // lowercase hex of every byte of the file
};

// Stamps the file's SHA-256 on every event it produced.
void stamp_file_digest(FileRecords& records);

// How a loop treats over-long lines and values that are not objects. The
// defaults are those of every line-oriented input except the prompt history
// of agents that word these cases their own way.
struct LineRules {
  // Text of the warning for an over-long line; null: "Line size {byte_length}
  // exceeds max_line_size {limit}, skipping."
  std::string (*over_limit_message)(std::uint64_t byte_length, std::uint64_t limit) = nullptr;
  // When not empty, an over-long line ends a strict run with this text as a
  // `Message` error; when empty, strict runs go on past it.
  std::string over_limit_strict_error;
  // When set, every parsed value reaches the handler, objects or not; else a
  // non-object is reported ("Top-level JSON value is not an object.") and skipped.
  bool pass_non_objects = false;
  // How the file is stored; compressed files are read through the decompressor.
  StoredAs stored = StoredAs::Plain;
};

// `root` is the run's base directory (for relative paths); `kind` labels the
// loop's own diagnostics. An unopenable file is the `Io` error of `path`.
Result<FileRecords> read_jsonl_records(const std::filesystem::path& path,
                                       const std::filesystem::path& root,
                                       const ParseOptions& options, ArtifactKind kind,
                                       const RecordHandler& handler,
                                       const LineRules& rules = {});

}  // namespace vt
