// Classification of a path as a Copilot CLI input, the directory its events'
// relative paths start from (the one holding the sessions folder, so that a
// session has the same identifiers however it was named), and the reading.
#include "copilot_cli/copilot_adapter.hpp"

#include "copilot_cli/copilot_run.hpp"
#include "core/file_kind.hpp"
#include "core/path_names.hpp"

namespace vt::copilot {

namespace fs = std::filesystem;

namespace {

// A sessions folder that holds at least one session.
bool holds_sessions(const fs::path& dir, bool follow_symlinks) {
  if (!is_file_kind(dir, follow_symlinks, FileKind::Directory)) return false;
  std::vector<Diagnostic> ignored;
  for (const SessionInput& input : list_sessions(dir, dir, follow_symlinks, ignored)) {
    if (input.shape != SessionInput::Shape::Folder || is_session_folder(input.path, follow_symlinks)) return true;
  }
  return false;
}

std::optional<InputKind> classify_directory(const fs::path& path, bool follow_symlinks) {
  if (name_is(path, kRootName)) return InputKind::CopilotRoot;
  const std::optional<std::string> name = path_name(path);
  if (name && is_sessions_dir_name(*name) &&
      (has_ancestor_named(path, kRootName) || holds_sessions(path, follow_symlinks))) {
    return InputKind::CopilotSessions;
  }
  if (session_input(path, follow_symlinks)) return InputKind::CopilotSession;
  // A root copied under another name, known by what it holds.
  if (holds_sessions(path / kSessionsName, follow_symlinks) || holds_sessions(path / kLegacyName, follow_symlinks)) {
    return InputKind::CopilotRoot;
  }
  return std::nullopt;
}

std::optional<InputKind> classify_file(const fs::path& path, bool follow_symlinks) {
  if (name_is(path, kHistoryName)) return InputKind::CopilotHistory;
  if (session_input(path, follow_symlinks)) return InputKind::CopilotSession;
  return std::nullopt;
}

}  // namespace

Result<std::optional<InputKind>> probe(const fs::path& path, bool follow_symlinks) {
  const auto kind = file_kind(path, follow_symlinks);
  if (!kind) return fail(ParseError::io(path, kind.error()));
  switch (*kind) {
    case FileKind::Directory: return classify_directory(path, follow_symlinks);
    case FileKind::Regular: return classify_file(path, follow_symlinks);
    default: return std::nullopt;
  }
}

fs::path base_dir(const fs::path& path, InputKind kind) {
  if (kind == InputKind::CopilotRoot) return path;
  if (const auto sessions = nearest_sessions_dir(path)) {
    const fs::path above = lexical_parent(*sessions);
    if (above != *sessions) return above;
  }
  return lexical_parent(without_trailing_separators(path));
}

bool supports_kind(InputKind kind) { return kind >= InputKind::CopilotRoot && kind <= InputKind::CopilotHistory; }

std::uint8_t detection_priority(const fs::path& path, InputKind) {
  return has_ancestor_named(path, kRootName) ? 100 : 80;
}

Result<AdapterOutput> parse_input(const fs::path& path, InputKind kind, const fs::path& base_dir,
                                  const ParseOptions& options) {
  switch (kind) {
    case InputKind::CopilotRoot: return read_root(path, base_dir, options);
    case InputKind::CopilotSessions: return read_sessions_dir(path, base_dir, options);
    case InputKind::CopilotHistory: return read_history_alone(path, base_dir, options);
    case InputKind::CopilotSession: {
      if (const auto input = session_input(path, options.follow_symlinks)) return read_session(*input, base_dir, options);
      return fail(ParseError::message("Not a Copilot CLI session: '" + path.string() + "'."));
    }
    default: break;
  }
  return fail(ParseError::message("Copilot CLI adapter does not support input kind " +
                                  std::string(input_kind_name(kind)) + "."));
}

}  // namespace vt::copilot
