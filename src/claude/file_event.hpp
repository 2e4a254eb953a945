// The event of a cached file or snapshot: the captured facts of one file,
// timed by its modification time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.hpp"
#include "hash/capture.hpp"

namespace vt::claude {

struct FileEventSource {
  EventType type;
  ArtifactKind kind;
  std::string relative_path;
  std::string source_key;  // hashed into the event id
  std::string source_id;
};

Event file_event(FileEventSource&& source, CapturedFile&& captured, std::uint64_t sequence);

// Puts `source_id` into the source of the capture failure just appended to
// `diagnostics` when its message starts with `prefix`.
void tag_capture_failure(std::vector<Diagnostic>& diagnostics, std::size_t before,
                         std::string_view prefix, const std::string& source_id);

}  // namespace vt::claude
