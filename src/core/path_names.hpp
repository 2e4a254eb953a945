// Lexical questions about a path as it was given: its name (last component),
// its parent's and grandparent's names, and whether any ancestor carries a
// given name. Nothing here touches the file system.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

// The last component as UTF-8 text; absent when there is none or it is not
// valid UTF-8 (such a name matches nothing).
std::optional<std::string> path_name(const std::filesystem::path& path);
bool name_is(const std::filesystem::path& path, std::string_view name);

// The lexical parent ("" for a single relative component, the root for the
// root itself).
std::filesystem::path lexical_parent(const std::filesystem::path& path);

// True when the path itself or any of its lexical ancestors is named `name`.
bool has_ancestor_named(const std::filesystem::path& path, std::string_view name);

// The nearest of the path itself and its ancestors that is named `name`.
std::optional<std::filesystem::path> nearest_ancestor_named(const std::filesystem::path& path,
                                                            std::string_view name);

// `path` without trailing separators (the root keeps its own).
std::filesystem::path without_trailing_separators(const std::filesystem::path& path);

}  // namespace vt
