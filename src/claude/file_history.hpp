// The file-history snapshots: one `file_snapshot` event per saved copy
// `<session>/<id>@v<version>`, in relative-path order, with warnings about
// duplicate and missing versions of each tracked source.
#pragma once

#include <filesystem>

#include "core/adapter.hpp"

namespace vt::claude {

// `dir` is the file-history directory or one snapshot file inside it. Names
// that do not read as `<id>@v<version>` are kept as version 0 of a source
// named like the file, except in strict mode, where they are refused with an
// error. Never fails.
AdapterOutput read_file_history(const std::filesystem::path& dir, const ParseOptions& options,
                                const std::filesystem::path& base_dir);

}  // namespace vt::claude
