// A Copilot CLI session's `workspace.yaml` (`id, cwd, git_root, repository,
// branch, summary, created_at, updated_at, …`), read through libyaml's event
// parser: only the top-level mapping's plain key/value pairs are kept.
// Aliases are never expanded (an alias value is named in a problem and
// left out), so a document built to expand without end costs no more than
// its own bytes; nesting deeper than the JSON bound ends the reading.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vt::copilot {

struct WorkspaceValues {
  std::map<std::string, std::string, std::less<>> values;  // top-level scalar pairs
  std::optional<std::string> problem;  // why the document was not read whole, when it was not
  bool is_mapping = false;             // the document is a mapping at all
};

WorkspaceValues read_workspace_yaml(std::string_view text);

}  // namespace vt::copilot
