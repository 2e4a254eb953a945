#include "jsonl/record_loop.hpp"

#include "core/input_files.hpp"
#include "jsonl/line_json.hpp"
#include "jsonl/line_reader.hpp"
#include "jsonl/relative_path.hpp"
#include "jsonl/trim.hpp"

namespace vt {

namespace {

// How often a long file looks whether the run was asked to stop.
constexpr std::uint64_t kLinesBetweenCancelChecks = 4096;

std::string default_over_limit_message(std::uint64_t byte_length, std::uint64_t limit) {
  return "Line size " + std::to_string(byte_length) + " exceeds max_line_size " +
         std::to_string(limit) + ", skipping.";
}

// The full reading tells a last line without its line feed that does not
// read (cut JSON, or UTF-8 cut inside a character) from a damaged line: the
// agent may be writing it right now.
bool live_end(const LineView& line, const ParseOptions& options) {
  return line.unterminated && full_reading(options);
}

std::string live_end_message(std::uint64_t byte_length) {
  return "Unterminated last line (" + std::to_string(byte_length) +
         " bytes) does not parse: the file may still be written, or was cut.";
}

}  // namespace

Result<FileRecords> read_jsonl_records(const std::filesystem::path& path,
                                       const std::filesystem::path& root,
                                       const ParseOptions& options, ArtifactKind kind,
                                       const RecordHandler& handler, const LineRules& rules) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  auto reader = JsonlReader::open(path, options.max_line_size, rules.stored, options.progress);
  if (!reader) return fail(std::move(reader.error()));
  if (options.inputs != nullptr) options.inputs->note(path);
  reader->stop_when(options.cancel);
  // One text for every event and diagnostic of the file.
  const SharedString relative_path(relative_path_for(path, root));

  FileRecords out;
  RecordSink sink{out.events, out.diagnostics};
  const auto report = [&](DiagnosticCode code, Severity severity, std::uint64_t line,
                          std::string message) {
    out.diagnostics.push_back(Diagnostic{
        code, severity, SourceRef{kind, std::nullopt, relative_path, line, std::nullopt},
        std::move(message)});
  };

  LineJsonParser parser;
  LineView line;
  while (reader->next_view(line)) {
    if (line.line_number % kLinesBetweenCancelChecks == 0 && cancel_requested(options)) {
      return fail(ParseError::interrupted());
    }
    if (line.failed && live_end(line, options)) {
      report(DiagnosticCode::UnterminatedLine, Severity::Warning, line.line_number, live_end_message(line.byte_length));
      continue;
    }
    if (line.failed) {
      report(DiagnosticCode::UnreadableArtifact, Severity::Error, line.line_number,
             "Failed to read line: " + std::string(line.error));
      if (options.strict) return fail(ParseError::io(path, std::string(line.error)));
      continue;
    }
    const std::string_view text = trim_line(line.text);
    if (text.empty()) continue;

    if (line.over_limit) {
      const auto message = rules.over_limit_message ? rules.over_limit_message
                                                    : default_over_limit_message;
      report(DiagnosticCode::InvalidJson, Severity::Warning, line.line_number,
             message(line.byte_length, options.max_line_size));
      if (options.strict && !rules.over_limit_strict_error.empty()) {
        return fail(ParseError::message(rules.over_limit_strict_error));
      }
      continue;
    }

    // Trimming keeps the padding after the line (it only takes bytes off).
    auto value = parser.parse_view(text, line.padded);
    if (!value && live_end(line, options)) {
      report(DiagnosticCode::UnterminatedLine, Severity::Warning, line.line_number, live_end_message(line.byte_length));
      continue;
    }
    if (!value) {
      report(DiagnosticCode::InvalidJson, Severity::Error, line.line_number,
             "Invalid JSON: " + value.error());
      if (options.strict) {
        return fail(ParseError::json_parse(relative_path.str(), line.line_number, std::move(value.error())));
      }
      continue;
    }
    if (!value->is_object() && !rules.pass_non_objects) {
      report(DiagnosticCode::UnknownRecord, Severity::Warning, line.line_number,
             "Top-level JSON value is not an object.");
      continue;
    }
    handler(*value, line.line_number, relative_path, sink);
  }

  if (cancel_requested(options)) return fail(ParseError::interrupted());
  out.sha256 = reader->finish();
  stamp_file_digest(out);
  return out;
}

void stamp_file_digest(FileRecords& records) {
  const SharedString digest(records.sha256);
  for (Event& event : records.events) event.source_file_sha256 = digest;
}

}  // namespace vt
