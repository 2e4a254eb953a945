// The listing of a paste or image cache: one `orphan_cache` event per cached
// file, named by its stem (the file name without its last extension), with
// the file's size, digest, media type, times and, on request, content.
#pragma once

#include <filesystem>
#include <string>
#include <unordered_set>

#include "core/adapter.hpp"

namespace vt::claude {

// The content hashes history entries refer to; a cache file whose stem is
// among them is marked as referenced even when it stays an orphan.
using HashSet = std::unordered_set<std::string>;

// The stem of a file name: cut at its last dot unless that dot leads the
// name; "" for "..", an empty name or one that is not valid UTF-8.
std::string file_stem(const std::filesystem::path& file);

// Events in path order and the diagnostics of the walk and the captures.
// `kind` is PasteCache or ImageCache. Never fails.
AdapterOutput read_cache_dir(const std::filesystem::path& dir, ArtifactKind kind,
                             const ParseOptions& options, const std::filesystem::path& base_dir,
                             const HashSet& referenced_hashes);

}  // namespace vt::claude
