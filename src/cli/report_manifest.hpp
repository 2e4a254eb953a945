// The list of pages a session report wrote into its folder, kept in the
// folder as `.vellumtrace-manifest` in the format of `sha256sum` (so that
// `sha256sum -c .vellumtrace-manifest` checks the report). The next report
// into the same folder reads it to remove the pages it does not write again;
// nothing the manifest does not name is ever removed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vt::cli {

inline constexpr std::string_view kManifestName = ".vellumtrace-manifest";
// A manifest larger than this is not a report's: it is not read.
inline constexpr std::size_t kManifestLimit = 64u << 20;

struct ManifestEntry {
  std::string sha256;  // 64 lower-case hex digits
  std::string name;    // a page's file name, no directory part
};

// Whether `name` could be the name of a report page: letters, digits, ".",
// "_" and "-" only, not starting with ".", ending in ".html" or ".md".
bool page_file_name(std::string_view name);

// The entries of a manifest's text; lines that are not "<sha256>  <page
// name>" are passed over.
std::vector<ManifestEntry> parse_manifest(std::string_view text);
std::string manifest_text(const std::vector<ManifestEntry>& entries);

}  // namespace vt::cli
