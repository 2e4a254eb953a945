#include "jsonl/relative_path.hpp"

#include <vector>

#include "core/path_text.hpp"

namespace vt {

namespace {

// The components that name something: repeated and trailing separators and
// "." components after the first are not compared.
std::vector<std::filesystem::path> components(const std::filesystem::path& path) {
  std::vector<std::filesystem::path> parts;
  for (const auto& part : path) {
    if (part.empty()) continue;
    if (part == "." && !parts.empty()) continue;
    parts.push_back(part);
  }
  return parts;
}

}  // namespace

std::string relative_path_for(const std::filesystem::path& path, const std::filesystem::path& root) {
  const auto root_parts = components(root);
  const auto path_parts = components(path);
  if (root_parts.empty() || root_parts.size() > path_parts.size()) return path_text(path);
  for (std::size_t i = 0; i < root_parts.size(); ++i) {
    if (root_parts[i] != path_parts[i]) return path_text(path);
  }
  std::string rest;
  for (std::size_t i = root_parts.size(); i < path_parts.size(); ++i) {
    if (!rest.empty()) rest.push_back('/');
    rest.append(path_parts[i].native());
  }
  return path_text(rest);
}

}  // namespace vt
