#include "copilot_cli/session_files.hpp"

#include "copilot_cli/workspace_yaml.hpp"
#include "core/rfc3339.hpp"
#include "hash/file_metadata.hpp"
#include "jsonl/fields.hpp"
#include "jsonl/line_json.hpp"
#include "jsonl/relative_path.hpp"
#include "jsonl/whole_document.hpp"

namespace vt::copilot {

namespace fs = std::filesystem;

namespace {

// A file read whole: its records so far, and its document when it could be read.
struct Opened {
  FileRecords out;
  SharedString relative_path;
  std::optional<std::string> text;
};

Result<Opened> open_document(const fs::path& path, const fs::path& base_dir, const ParseOptions& options,
                             ArtifactKind kind, std::string_view what) {
  SharedString relative_path(relative_path_for(path, base_dir));
  auto read = read_document_records(
      path, options, SourceRef{kind, std::nullopt, relative_path, std::nullopt, std::nullopt}, what);
  if (!read) return fail(std::move(read.error()));
  return Opened{std::move(read->records), std::move(relative_path), std::move(read->text)};
}

void apply(Event& event, const SessionDefaults& defaults) {
  event.session_id = defaults.session_id;
  event.working_directory = defaults.working_directory;
  event.facts.git_branch = defaults.git_branch;
}

void warn(Opened& opened, ArtifactKind kind, DiagnosticCode code, std::string message) {
  opened.out.diagnostics.push_back(Diagnostic{
      code, Severity::Warning, SourceRef{kind, std::nullopt, opened.relative_path, std::nullopt, std::nullopt},
      std::move(message)});
}

}  // namespace

bool is_checkpoint_name(std::string_view name) {
  if (!name.ends_with(".md") || name.empty() || name[0] < '0' || name[0] > '9') return false;
  const std::size_t dash = name.find_first_not_of("0123456789");
  return dash != std::string_view::npos && name[dash] == '-';
}

Result<FileRecords> read_workspace(const fs::path& path, const fs::path& base_dir, const ParseOptions& options,
                                   SessionDefaults& defaults) {
  auto opened = open_document(path, base_dir, options, ArtifactKind::Workspace, "workspace file");
  if (!opened) return fail(std::move(opened.error()));
  if (!opened->text) return std::move(opened->out);
  const WorkspaceValues yaml = read_workspace_yaml(*opened->text);
  if (!yaml.is_mapping) {
    warn(*opened, ArtifactKind::Workspace, DiagnosticCode::UnknownRecord,
         "Not a Copilot CLI workspace file" + (yaml.problem ? " (" + *yaml.problem + ")" : std::string()) +
             ", skipping.");
    return std::move(opened->out);
  }
  if (yaml.problem) {
    warn(*opened, ArtifactKind::Workspace, DiagnosticCode::InvalidFieldType,
         "Workspace file read in part: " + *yaml.problem + ".");
  }
  const auto value = [&](std::string_view key) -> OptionalShared {
    const auto found = yaml.values.find(key);
    return found == yaml.values.end() ? OptionalShared() : OptionalShared(found->second);
  };
  if (OptionalShared id = value("id")) defaults.session_id = std::move(id);
  if (OptionalShared cwd = value("cwd")) defaults.working_directory = std::move(cwd);
  if (OptionalShared branch = value("branch")) defaults.git_branch = std::move(branch);
  EventIds ids;
  const std::optional<std::string> created = yaml.values.contains("created_at")
                                                 ? std::optional<std::string>(yaml.values.find("created_at")->second)
                                                 : std::nullopt;
  const std::optional<Instant> time = created ? parse_rfc3339(*created) : std::nullopt;
  if (created && !time) {
    warn(*opened, ArtifactKind::Workspace, DiagnosticCode::InvalidTimestamp,
         "Field 'created_at' is not valid RFC 3339.");
  }
  const RecordPlace place{ArtifactKind::Workspace, opened->relative_path, std::nullopt, "copilot_workspace",
                          "workspace", std::nullopt, time, TimestampSource::Embedded};
  Event& event = add_event(opened->out.events, ids, place, EventType::TaskState, std::nullopt);
  apply(event, defaults);
  if (time) event.timestamp_raw = Json(*created);
  event.message = value("summary") ? value("summary") : value("name");
  if (options.include_raw) {
    Json raw = Json::object();
    for (const auto& [key, text] : yaml.values) raw[key] = text;
    event.raw = std::move(raw);
  }
  stamp_file_digest(opened->out);
  return std::move(opened->out);
}

Result<FileRecords> read_rewind_index(const fs::path& path, const fs::path& base_dir, const ParseOptions& options,
                                      const SessionDefaults& defaults) {
  auto opened = open_document(path, base_dir, options, ArtifactKind::Checkpoint, "rewind snapshot index");
  if (!opened) return fail(std::move(opened.error()));
  if (!opened->text) return std::move(opened->out);
  LineJsonParser parser;
  auto value = parser.parse_view(*opened->text);
  if (!value) {
    opened->out.diagnostics.push_back(Diagnostic{
        DiagnosticCode::InvalidJson, Severity::Error,
        SourceRef{ArtifactKind::Checkpoint, std::nullopt, opened->relative_path, std::nullopt, std::nullopt},
        "Invalid JSON: " + value.error()});
    return std::move(opened->out);
  }
  const FieldRef snapshots = value->is_object() ? get_field(*value, "snapshots") : FieldRef();
  const auto list = snapshots ? as_array(*snapshots) : std::nullopt;
  if (!list) {
    warn(*opened, ArtifactKind::Checkpoint, DiagnosticCode::UnknownRecord,
         "Not a Copilot CLI rewind snapshot index (no 'snapshots' array), skipping.");
    return std::move(opened->out);
  }
  EventIds ids;
  RepeatedTexts types;
  std::size_t index = 0;
  for (const JsonView snapshot : *list) {
    const std::string key = "copilot_rewind:" + std::to_string(index);
    if (!snapshot.is_object()) {
      warn(*opened, ArtifactKind::Checkpoint, DiagnosticCode::UnknownRecord,
           "Snapshot " + std::to_string(index++) + " of the rewind index is not an object.");
      continue;
    }
    ++index;
    const FieldRef stamp = get_field(snapshot, "timestamp");
    const std::optional<Instant> time = stamp && stamp->is_string() ? parse_rfc3339(stamp->string()) : std::nullopt;
    if (stamp && !time) {
      warn(*opened, ArtifactKind::Checkpoint, DiagnosticCode::InvalidTimestamp,
           "Field 'timestamp' of snapshot " + std::to_string(index - 1) + " is not valid RFC 3339.");
    }
    const RecordPlace place{ArtifactKind::Checkpoint, opened->relative_path, std::nullopt, key, "rewind_snapshot",
                            text_of(snapshot, "snapshotId"), time, TimestampSource::Embedded};
    Event& event = add_event(opened->out.events, ids, place, EventType::FileSnapshot, std::nullopt, &types);
    apply(event, defaults);
    if (time) event.timestamp_raw = raw_timestamp(*stamp);
    event.message = text_of(snapshot, "userMessage");
    event.facts.parent_id = text_of(snapshot, "eventId");
    if (OptionalShared branch = text_of(snapshot, "gitBranch")) event.facts.git_branch = std::move(branch);
    if (options.include_raw) event.raw = held_copy(snapshot);
  }
  stamp_file_digest(opened->out);
  return std::move(opened->out);
}

Result<FileRecords> read_checkpoint(const fs::path& path, const fs::path& base_dir, const ParseOptions& options,
                                    const SessionDefaults& defaults) {
  auto opened = open_document(path, base_dir, options, ArtifactKind::Checkpoint, "checkpoint");
  if (!opened) return fail(std::move(opened.error()));
  if (!opened->text) return std::move(opened->out);
  std::optional<Instant> modified;
  if (const auto metadata = read_file_metadata(path)) modified = metadata->times.modified;
  EventIds ids;
  const RecordPlace place{ArtifactKind::Checkpoint, opened->relative_path, std::nullopt, "copilot_checkpoint",
                          "checkpoint", std::nullopt, modified, TimestampSource::FilesystemModified};
  Event& event = add_event(opened->out.events, ids, place, EventType::ContextCompacted, std::nullopt);
  apply(event, defaults);
  event.message = std::move(*opened->text);
  stamp_file_digest(opened->out);
  return std::move(opened->out);
}

}  // namespace vt::copilot
