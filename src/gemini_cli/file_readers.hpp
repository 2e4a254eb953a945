// The readers of the Gemini CLI files, one per role: each reads one file
// whole into events and diagnostics (every record, or every non-blank line,
// gives at least one of them) and says where its messages' events lie, so
// that copies can be told apart once every file is read.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/options.hpp"
#include "core/parse_error.hpp"
#include "gemini_cli/chat_messages.hpp"
#include "gemini_cli/gemini_files.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::gemini {

struct FileRead {
  FileRecords records;
  std::vector<MessageSpan> spans;  // a chat session's headers and messages
  std::string project_hash;        // the `projectHash` a chat session gives
};

// Reads `path` as a file of `role`; an unopenable file (or a strict run's
// unreadable line) is the error.
Result<FileRead> read_gemini_file(const std::filesystem::path& path, FileRole role,
                                  const std::filesystem::path& base_dir, const ParseOptions& options);

Result<FileRead> read_session_lines(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                    const ParseOptions& options);
Result<FileRead> read_session_document(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                       const ParseOptions& options);
Result<FileRead> read_prompt_log(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                 const ParseOptions& options);
Result<FileRead> read_checkpoint(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                 const ParseOptions& options);
Result<FileRead> read_shell_history(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                    const ParseOptions& options);

}  // namespace vt::gemini
