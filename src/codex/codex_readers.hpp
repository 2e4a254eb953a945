// The readers of a Codex root's three members: the prompt history, the
// session rollout files and the attachments. The adapter dispatches to them;
// each takes the run's base directory as the root of relative paths.
#pragma once

#include <filesystem>
#include <iterator>
#include <vector>

#include "core/adapter.hpp"
#include "core/append_moved.hpp"
#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::codex {

// `history.jsonl`: one `prompt_input` event per object line.
Result<FileRecords> parse_codex_history(const std::filesystem::path& path,
                                        const std::filesystem::path& root,
                                        const ParseOptions& options);

// A `sessions` tree (walked, rollout files in path order) or a single rollout
// file. The first file that ends in an error ends the whole call.
Result<AdapterOutput> parse_codex_sessions(const std::filesystem::path& path,
                                           const std::filesystem::path& root,
                                           const ParseOptions& options);

// One rollout file, one event per object line.
Result<FileRecords> parse_codex_session_file(const std::filesystem::path& path,
                                             const std::filesystem::path& root,
                                             const ParseOptions& options);

// An older rollout written as one JSON document, `{"session": {…}, "items":
// […]}`: read whole (up to max_line_size bytes), one event for the session
// header and one per item, mapped as the older rollout logs are. A document
// that is too large, not JSON or of another shape is named in a diagnostic.
Result<FileRecords> parse_codex_rollout_document(const std::filesystem::path& path,
                                                 const std::filesystem::path& root,
                                                 const ParseOptions& options);

// An `attachments` tree or a single file in one: one `attachment` event per
// captured regular file. Problems are warnings; nothing ends the run.
AdapterOutput parse_codex_attachments(const std::filesystem::path& path,
                                      const std::filesystem::path& root,
                                      const ParseOptions& options);

}  // namespace vt::codex
