// The Codex adapter's reading operation: a `.codex` root read member by
// member (history, sessions, archived sessions, attachments), or one member
// on its own.
#include "codex/codex_adapter.hpp"

#include <string>
#include <system_error>

#include "codex/codex_readers.hpp"
#include "codex/rollout_files.hpp"
#include "core/root_member_links.hpp"
#include "jsonl/relative_path.hpp"

namespace vt::codex {

namespace fs = std::filesystem;

namespace {

// A root member's type, judged by its target when it is a link.
bool member_is(const fs::path& member, fs::file_type type) {
  std::error_code ec;
  const fs::file_status status = fs::status(member, ec);
  return !ec && status.type() == type;
}

Result<AdapterOutput> parse_root(const fs::path& root_dir, const fs::path& base_dir,
                                 const ParseOptions& options) {
  AdapterOutput out;
  // A member linked out of the root, when the run may not follow it there:
  // its warning instead of its reading.
  const auto refused = [&](const fs::path& member, ArtifactKind kind) {
    auto diagnostic = refused_member_link(root_dir, member, kind, options,
                                          [&] { return relative_path_for(member, base_dir); });
    if (diagnostic) out.diagnostics.push_back(std::move(*diagnostic));
    return diagnostic.has_value();
  };
  if (const fs::path history = root_dir / "history.jsonl";
      !refused(history, ArtifactKind::History) && member_is(history, fs::file_type::regular)) {
    auto records = parse_codex_history(history, base_dir, options);
    if (!records) return fail(std::move(records.error()));
    append_moved(out.events, std::move(records->events));
    append_moved(out.diagnostics, std::move(records->diagnostics));
  }
  for (const std::string_view name : kSessionDirNames) {
    const fs::path sessions = root_dir / name;
    if (refused(sessions, ArtifactKind::Session) || !member_is(sessions, fs::file_type::directory)) continue;
    auto read = parse_codex_sessions(sessions, base_dir, options);
    if (!read) return fail(std::move(read.error()));
    append_moved(out.events, std::move(read->events));
    append_moved(out.diagnostics, std::move(read->diagnostics));
  }
  if (const fs::path attachments = root_dir / "attachments";
      !refused(attachments, ArtifactKind::Attachment) && member_is(attachments, fs::file_type::directory)) {
    AdapterOutput read = parse_codex_attachments(attachments, base_dir, options);
    append_moved(out.events, std::move(read.events));
    append_moved(out.diagnostics, std::move(read.diagnostics));
  }
  return out;
}

}  // namespace

Result<AdapterOutput> parse_input(const fs::path& path, InputKind kind, const fs::path& base_dir,
                                  const ParseOptions& options) {
  switch (kind) {
    case InputKind::CodexRoot:
      return parse_root(path, base_dir, options);
    case InputKind::CodexHistory: {
      auto records = parse_codex_history(path, base_dir, options);
      if (!records) return fail(std::move(records.error()));
      return AdapterOutput{std::move(records->events), std::move(records->diagnostics)};
    }
    case InputKind::CodexSessions:
    case InputKind::CodexSession:
      return parse_codex_sessions(path, base_dir, options);
    case InputKind::CodexAttachments:
      return parse_codex_attachments(path, base_dir, options);
    default:
      return fail(ParseError::message("Codex adapter does not support input kind " +
                                      std::string(input_kind_name(kind)) + "."));
  }
}

}  // namespace vt::codex
