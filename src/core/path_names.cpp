#include "core/path_names.hpp"

#include "core/path_text.hpp"

namespace vt {

namespace fs = std::filesystem;

fs::path without_trailing_separators(const fs::path& path) {
  std::string text = path.native();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return fs::path(std::move(text));
}

std::optional<std::string> path_name(const fs::path& path) {
  const fs::path trimmed = without_trailing_separators(path);
  if (!trimmed.has_filename()) return std::nullopt;
  std::string name = trimmed.filename().native();
  if (name.empty() || !is_valid_utf8(name)) return std::nullopt;
  return name;
}

bool name_is(const fs::path& path, std::string_view name) {
  const std::optional<std::string> own = path_name(path);
  return own && *own == name;
}

fs::path lexical_parent(const fs::path& path) {
  return without_trailing_separators(path).parent_path();
}

bool has_ancestor_named(const fs::path& path, std::string_view name) {
  return nearest_ancestor_named(path, name).has_value();
}

std::optional<fs::path> nearest_ancestor_named(const fs::path& path, std::string_view name) {
  fs::path current = without_trailing_separators(path);
  while (!current.empty()) {
    if (name_is(current, name)) return current;
    fs::path parent = current.parent_path();
    if (parent == current) break;
    current = std::move(parent);
  }
  return std::nullopt;
}

}  // namespace vt
