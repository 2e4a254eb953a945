// The session rollouts: finding the rollout files of a `sessions` or
// `archived_sessions` tree, and turning each record of a file (plain or
// compressed) into one event under the file's running session and working
// directory.
#include <optional>
#include <string>
#include <system_error>

#include "codex/codex_readers.hpp"
#include "core/file_walk.hpp"
#include "core/parallel_files.hpp"
#include "core/repeated_texts.hpp"
#include "codex/rollout_files.hpp"
#include "core/rfc3339.hpp"
#include "codex/session_mapping.hpp"
#include "codex/session_state.hpp"
#include "hash/event_id.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::codex {

namespace fs = std::filesystem;

namespace {

struct FileTexts {
  RepeatedTexts warning;
  RepeatedTexts record_type;
  std::string scratch;  // the text being looked up, reused across records
};

void handle_session_record(JsonView object, std::uint64_t line, const SharedString& relative_path,
                           RecordSink& sink, SessionFileState& state, EventIds& ids,
                           FileTexts& texts, const ParseOptions& options) {
  const SessionRecord record = view_session_record(object);
  state.apply(record);

  Event event;
  event.provider = Provider::Codex;
  event.sequence = sink.events.size();
  event.session_id = state.session_id();
  event.working_directory = state.working_directory();

  if (const FieldRef timestamp = get_field(object, "timestamp")) {
    event.timestamp_raw = held_copy(*timestamp);
    if (const auto text = get_string(object, "timestamp")) event.timestamp = parse_rfc3339(*text);
    if (event.timestamp) {
      event.timestamp_source = TimestampSource::Embedded;
    } else {
      sink.diagnostics.push_back(Diagnostic{
          DiagnosticCode::InvalidTimestamp, Severity::Warning,
          SourceRef{ArtifactKind::Session, std::nullopt, relative_path, line, std::nullopt},
          "Field 'timestamp' is not valid RFC 3339."});
    }
  }

  event.event_type = session_event_type(record);
  if (event.event_type == EventType::Unknown) {
    event.warnings.push_back(texts.warning.get(unmapped_record_warning(record)));
  }
  event.message = session_message(record, event.event_type, options.include_content);

  const std::string source_key = "codex_session:" + std::to_string(line);
  event.event_id = ids.make(Provider::Codex, ArtifactKind::Session, relative_path, source_key);
  const SharedString record_type = texts.record_type.get(session_record_type_text(record, texts.scratch));
  event.source = SourceRef{ArtifactKind::Session, record_type, relative_path, line,
                           session_source_id(record)};
  if (options.include_raw) event.raw = held_copy(object);
  sink.events.push_back(std::move(event));
}

}  // namespace

Result<FileRecords> parse_codex_session_file(const fs::path& path, const fs::path& root,
                                             const ParseOptions& options) {
  const std::string name = path.filename().native();
  SessionFileState state(session_id_from_file_name(without_compression_suffix(name)));
  EventIds ids;
  FileTexts texts;
  LineRules rules;
  rules.stored = rollout_storage(name);
  return read_jsonl_records(path, root, options, ArtifactKind::Session,
                            [&state, &ids, &texts, &options](JsonView object, std::uint64_t line,
                                                             const SharedString& relative_path,
                                                             RecordSink& sink) {
                              handle_session_record(object, line, relative_path, sink, state, ids, texts,
                                                    options);
                            },
                            rules);
}

Result<AdapterOutput> parse_codex_sessions(const fs::path& path, const fs::path& root,
                                           const ParseOptions& options) {
  AdapterOutput out;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!ec && !fs::is_directory(status)) {
    // A single rollout file, whatever its name (the record loop opens only
    // regular files).
    auto file = parse_codex_session_file(path, root, options);
    if (!file) return fail(std::move(file.error()));
    out.events = std::move(file->events);
    out.diagnostics = std::move(file->diagnostics);
    return out;
  }

  WalkResult walk = walk_regular_files(path, options.follow_symlinks, &is_rollout_name, options.cancel);
  out.diagnostics.reserve(walk.failures.size());
  for (WalkFailure& failure : walk.failures) {
    out.diagnostics.push_back(Diagnostic{
        DiagnosticCode::UnreadableArtifact, failure.already_read ? Severity::Warning : Severity::Error,
        SourceRef{ArtifactKind::Session, std::nullopt, relative_path_for(failure.path, root), std::nullopt,
                  std::nullopt},
        "Cannot traverse session artifact: " + std::move(failure.detail)});
  }
  // Files are read concurrently; the first failing file in path order ends
  // the call, so files after it need not be read.
  auto files = read_each<Result<FileRecords>>(
      walk.files.size(), options.threads,
      [&](std::size_t i) { return parse_codex_session_file(walk.files[i], root, options); },
      [](const Result<FileRecords>& file) { return !file.has_value(); });
  for (std::optional<Result<FileRecords>>& file : files) {
    if (!*file) return fail(std::move(file->error()));
    append_moved(out.events, std::move((*file)->events));
    append_moved(out.diagnostics, std::move((*file)->diagnostics));
    file.reset();  // its emptied vectors go as soon as it is joined
  }
  return out;
}

}  // namespace vt::codex
