// Capture of a whole-file artifact: size, SHA-256, media type, file times and,
// on request and under the size bound, its content.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/options.hpp"
#include "core/records.hpp"

namespace vt {

struct CapturedFile {
  std::uint64_t size = 0;
  std::string sha256;
  std::optional<std::string> media_type;
  std::optional<std::string> content;
  std::optional<ContentEncoding> content_encoding;
  FsTimes fs_times;
};

// Moves a captured file's facts into the event of that file: its artifact,
// its file times, and its modification time as the event's time.
void take_captured_file(Event& event, CapturedFile&& captured);

// On failure appends a warning to `diagnostics` and returns nothing; the
// caller then makes no event for the file.
std::optional<CapturedFile> capture_file(const std::filesystem::path& path,
                                         const std::string& relative_path, ArtifactKind kind,
                                         const ParseOptions& options,
                                         std::vector<Diagnostic>& diagnostics);

// Media type for a file name by its extension (case-insensitive), if known.
std::optional<std::string> media_type_for(const std::filesystem::path& file_name);

}  // namespace vt
