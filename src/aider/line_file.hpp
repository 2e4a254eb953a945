// Reading one of aider's files line by line: opened (regular files only) and
// noted among the run's inputs, every line bounded by `max_line_size`. A
// line that cannot be read (not UTF-8, a failing read) or is too long is a
// diagnostic, and the caller is told it was skipped (a block it was in ends
// there); every other line is handed over without its carriage return.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "jsonl/record_loop.hpp"

namespace vt::aider {

using LineHandler = std::function<void(std::uint64_t line_number, std::string_view text)>;

// Fills `out.sha256` at the end; the interrupted error when the run is asked to stop.
Status read_lines(const std::filesystem::path& path, const SharedString& relative_path, const ParseOptions& options,
                  ArtifactKind kind, FileRecords& out, const LineHandler& line,
                  const std::function<void()>& skipped = {});

}  // namespace vt::aider
