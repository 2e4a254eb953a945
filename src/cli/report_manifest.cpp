#include "cli/report_manifest.hpp"

#include <algorithm>

namespace vt::cli {

namespace {

bool lower_hex(std::string_view text) {
  return text.size() == 64 &&
         std::ranges::all_of(text, [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

bool page_file_name(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.size() > 255) return false;
  if (!name.ends_with(".html") && !name.ends_with(".md")) return false;
  return std::ranges::all_of(name, [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
  });
}

std::vector<ManifestEntry> parse_manifest(std::string_view text) {
  std::vector<ManifestEntry> entries;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    // "<digest>  <name>": two blanks (text mode) or blank and "*" (binary).
    if (line.size() < 67 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) continue;
    const std::string_view digest = line.substr(0, 64), name = line.substr(66);
    if (!lower_hex(digest) || !page_file_name(name)) continue;
    entries.push_back(ManifestEntry{std::string(digest), std::string(name)});
  }
  return entries;
}

std::string manifest_text(const std::vector<ManifestEntry>& entries) {
  std::string text;
  for (const ManifestEntry& entry : entries) text += entry.sha256 + "  " + entry.name + "\n";
  return text;
}

}  // namespace vt::cli
