// Reading of a Claude Code input of a given kind: a whole root, or one of its
// parts on its own.
#include "claude/claude_adapter.hpp"

#include <string>

#include "claude/cache_dir.hpp"
#include "claude/file_history.hpp"
#include "claude/history/claude_history.hpp"
#include "claude/root_run.hpp"
#include "claude/transcripts/transcripts.hpp"

namespace vt::claude {

Result<AdapterOutput> parse_input(const std::filesystem::path& path, InputKind kind,
                                  const std::filesystem::path& base_dir, const ParseOptions& options) {
  switch (kind) {
    case InputKind::ClaudeRoot:
      return read_claude_root(path, base_dir, options);
    case InputKind::History: {
      auto records = read_claude_history(path, base_dir, options);
      if (!records) return fail(std::move(records.error()));
      return AdapterOutput{std::move(records->events), std::move(records->diagnostics)};
    }
    case InputKind::PasteCache:
      // Read alone a cache resolves nothing: every file is an orphan.
      return read_cache_dir(path, ArtifactKind::PasteCache, options, base_dir, {});
    case InputKind::ImageCache:
      return read_cache_dir(path, ArtifactKind::ImageCache, options, base_dir, {});
    case InputKind::FileHistory:
      return read_file_history(path, options, base_dir);
    case InputKind::Transcripts:
    case InputKind::Transcript: {
      auto read = read_transcripts(path, base_dir, options);
      if (!read) return fail(std::move(read.error()));
      return std::move(read->output);
    }
    default:
      break;
  }
  return fail(ParseError::message("Claude Code adapter does not support input kind " +
                                  std::string(input_kind_name(kind)) + "."));
}

}  // namespace vt::claude
