#include "copilot_cli/copilot_run.hpp"

#include <algorithm>

#include "copilot_cli/command_history.hpp"
#include "copilot_cli/legacy_session.hpp"
#include "copilot_cli/session_events.hpp"
#include "copilot_cli/session_files.hpp"
#include "core/append_moved.hpp"
#include "core/file_kind.hpp"
#include "core/parallel_files.hpp"
#include "core/path_names.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::copilot {

namespace fs = std::filesystem;

namespace {

void take(AdapterOutput& out, FileRecords&& records) {
  append_moved(out.events, std::move(records.events));
  append_moved(out.diagnostics, std::move(records.diagnostics));
}

// A member file's records, or, when it cannot be opened, a diagnostic (a
// run asked to stop ends here).
Status read_member(AdapterOutput& out, Result<FileRecords> read, const fs::path& path, const fs::path& base_dir,
                   ArtifactKind kind, const ParseOptions& options) {
  if (read) {
    take(out, std::move(*read));
    return {};
  }
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  out.diagnostics.push_back(Diagnostic{
      DiagnosticCode::UnreadableArtifact, Severity::Error,
      SourceRef{kind, std::nullopt, relative_path_for(path, base_dir), std::nullopt, std::nullopt},
      read.error().text()});
  return {};
}

Result<FileRecords> read_event_log(const fs::path& path, const fs::path& base_dir, const ParseOptions& options,
                                   const SessionDefaults& defaults) {
  SessionEvents events(defaults, options);
  return read_jsonl_records(path, base_dir, options, ArtifactKind::SessionLog,
                            [&events](JsonView object, std::uint64_t line, const SharedString& relative_path,
                                      RecordSink& sink) { events.handle(object, line, relative_path, sink); });
}

// The checkpoint files of a session folder, in name order.
std::vector<fs::path> checkpoint_files(const fs::path& dir, bool follow_symlinks) {
  std::vector<fs::path> files;
  std::error_code error;
  fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, error);
  for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
    const auto name = path_name(it->path());
    const auto kind = entry_kind(*it, follow_symlinks);
    if (name && is_checkpoint_name(*name) && kind && *kind == FileKind::Regular) files.push_back(it->path());
  }
  std::ranges::sort(files);
  return files;
}

// One session folder: the workspace file first (its facts apply to the
// rest), then the event log (its events listed first), the rewind snapshots
// and the checkpoints. In a folder named on its own too, a member that
// cannot be opened is a diagnostic.
Result<AdapterOutput> read_folder(const fs::path& dir, const fs::path& base_dir, const ParseOptions& options) {
  AdapterOutput out, workspace;
  SessionDefaults defaults{OptionalShared(path_name(dir)), std::nullopt, std::nullopt};
  const bool follow = options.follow_symlinks;
  if (const fs::path file = dir / kWorkspaceName; is_file_kind(file, follow, FileKind::Regular)) {
    if (auto s = read_member(workspace, read_workspace(file, base_dir, options, defaults), file, base_dir,
                             ArtifactKind::Workspace, options);
        !s) {
      return fail(std::move(s.error()));
    }
  }
  if (const fs::path file = dir / kEventsName; is_file_kind(file, follow, FileKind::Regular)) {
    if (auto s = read_member(out, read_event_log(file, base_dir, options, defaults), file, base_dir,
                             ArtifactKind::SessionLog, options);
        !s) {
      return fail(std::move(s.error()));
    }
  }
  append_moved(out.events, std::move(workspace.events));
  append_moved(out.diagnostics, std::move(workspace.diagnostics));
  if (const fs::path file = dir / "rewind-snapshots" / "index.json"; is_file_kind(file, follow, FileKind::Regular)) {
    if (auto s = read_member(out, read_rewind_index(file, base_dir, options, defaults), file, base_dir,
                             ArtifactKind::Checkpoint, options);
        !s) {
      return fail(std::move(s.error()));
    }
  }
  for (const fs::path& file : checkpoint_files(dir / "checkpoints", follow)) {
    if (auto s = read_member(out, read_checkpoint(file, base_dir, options, defaults), file, base_dir,
                             ArtifactKind::Checkpoint, options);
        !s) {
      return fail(std::move(s.error()));
    }
  }
  return out;
}

// One file of a session folder named on its own, read by its name.
Result<AdapterOutput> read_folder_file(const fs::path& path, const fs::path& base_dir, const ParseOptions& options) {
  const fs::path parent = lexical_parent(path);
  const bool in_part = name_is(parent, "checkpoints") || name_is(parent, "rewind-snapshots");
  SessionDefaults defaults{OptionalShared(path_name(in_part ? lexical_parent(parent) : parent)), std::nullopt,
                           std::nullopt};
  Result<FileRecords> read = fail(ParseError::message(""));
  if (name_is(path, kWorkspaceName)) {
    read = read_workspace(path, base_dir, options, defaults);
  } else if (name_is(path, kEventsName)) {
    read = read_event_log(path, base_dir, options, defaults);
  } else if (name_is(parent, "rewind-snapshots")) {
    read = read_rewind_index(path, base_dir, options, defaults);
  } else {
    read = read_checkpoint(path, base_dir, options, defaults);
  }
  if (!read) return fail(std::move(read.error()));
  AdapterOutput out;
  take(out, std::move(*read));
  return out;
}

Result<AdapterOutput> read_inputs(const std::vector<SessionInput>& inputs, const fs::path& base_dir,
                                  const ParseOptions& options, AdapterOutput out) {
  auto read = read_each<Result<AdapterOutput>>(
      inputs.size(), options.threads, [&](std::size_t i) -> Result<AdapterOutput> {
        Result<AdapterOutput> one = read_session(inputs[i], base_dir, options);
        if (one || cancel_requested(options)) return one;
        // Within a folder a session that cannot be opened is a diagnostic.
        AdapterOutput diagnosed;
        diagnosed.diagnostics.push_back(Diagnostic{
            DiagnosticCode::UnreadableArtifact, Severity::Error,
            SourceRef{ArtifactKind::SessionLog, std::nullopt, relative_path_for(inputs[i].path, base_dir),
                      std::nullopt, std::nullopt},
            one.error().text()});
        return diagnosed;
      },
      [](const Result<AdapterOutput>& one) { return !one.has_value(); });
  std::size_t total = out.events.size();
  for (const std::optional<Result<AdapterOutput>>& one : read) {
    if (one && *one) total += (*one)->events.size();
  }
  out.events.reserve(total);
  for (std::optional<Result<AdapterOutput>>& one : read) {
    if (!*one) return fail(std::move(one->error()));
    append_moved(out.events, std::move((*one)->events));
    append_moved(out.diagnostics, std::move((*one)->diagnostics));
    one.reset();
  }
  return out;
}

}  // namespace

Result<AdapterOutput> read_session(const SessionInput& input, const fs::path& base_dir, const ParseOptions& options) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  switch (input.shape) {
    case SessionInput::Shape::Folder: return read_folder(input.path, base_dir, options);
    case SessionInput::Shape::FolderFile: return read_folder_file(input.path, base_dir, options);
    case SessionInput::Shape::Legacy:
    case SessionInput::Shape::FlatLog: {
      Result<FileRecords> read =
          input.shape == SessionInput::Shape::Legacy
              ? read_legacy_session(input.path, base_dir, options)
              : read_event_log(input.path, base_dir, options,
                               SessionDefaults{OptionalShared(input.path.stem().string()), std::nullopt,
                                               std::nullopt});
      if (!read) return fail(std::move(read.error()));
      AdapterOutput out;
      take(out, std::move(*read));
      return out;
    }
  }
  return AdapterOutput{};
}

Result<AdapterOutput> read_sessions_dir(const fs::path& dir, const fs::path& base_dir, const ParseOptions& options) {
  AdapterOutput out;
  const std::vector<SessionInput> inputs = list_sessions(dir, base_dir, options.follow_symlinks, out.diagnostics);
  return read_inputs(inputs, base_dir, options, std::move(out));
}

Result<AdapterOutput> read_root(const fs::path& root, const fs::path& base_dir, const ParseOptions& options) {
  AdapterOutput out;
  std::vector<SessionInput> inputs;
  for (const std::string_view name : {kLegacyName, kSessionsName}) {
    const fs::path dir = root / name;
    if (!is_file_kind(dir, true, FileKind::Directory)) continue;
    std::vector<SessionInput> found = list_sessions(dir, base_dir, options.follow_symlinks, out.diagnostics);
    append_moved(inputs, std::move(found));
  }
  auto sessions = read_inputs(inputs, base_dir, options, std::move(out));
  if (!sessions) return fail(std::move(sessions.error()));
  out = std::move(*sessions);
  const fs::path history = root / kHistoryName;
  const bool has_history = is_file_kind(history, options.follow_symlinks, FileKind::Regular);
  if (has_history) {
    AdapterOutput read;
    if (auto s = read_member(read, read_command_history(history, base_dir, options), history, base_dir,
                             ArtifactKind::History, options);
        !s) {
      return fail(std::move(s.error()));
    }
    match_history(read.events, out.events);
    append_moved(out.events, std::move(read.events));
    append_moved(out.diagnostics, std::move(read.diagnostics));
  }
  if (inputs.empty() && !has_history) {
    out.diagnostics.push_back(Diagnostic{
        DiagnosticCode::UnknownRecord, Severity::Info,
        SourceRef{ArtifactKind::SessionLog, std::nullopt, relative_path_for(root, base_dir), std::nullopt,
                  std::nullopt},
        "No Copilot CLI session or command history here (configuration only?): nothing to read."});
  }
  return out;
}

Result<AdapterOutput> read_history_alone(const fs::path& path, const fs::path& base_dir, const ParseOptions& options) {
  auto read = read_command_history(path, base_dir, options);
  if (!read) return fail(std::move(read.error()));
  AdapterOutput out;
  take(out, std::move(*read));
  return out;
}

}  // namespace vt::copilot
