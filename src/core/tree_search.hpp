// A bounded look through a directory tree for one regular file whose name
// passes a test: used to recognise an agent root by what it holds without
// walking arbitrarily deep or out through links.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

namespace vt {

// True when a regular file at most `max_depth` levels below `dir` (1: its own
// entries) has a valid UTF-8 name accepted by `accept`. Links are never
// followed; entries and directories that cannot be read are passed over.
// Stops at the first match.
bool tree_has_file(const std::filesystem::path& dir, unsigned max_depth,
                   const std::function<bool(std::string_view name)>& accept);

}  // namespace vt
