// File names of session pages: "<provider>-<session id>", the id reduced to
// letters, digits, ".", "_" and "-" (at most 80 bytes), so that no id, however
// hostile, names a place outside the report directory. An id that had to be
// changed, or whose name another session took already (compared without
// case, for case-insensitive file systems), gets a part of its SHA-256 added.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

namespace vt::report {

class PageNames {
 public:
  // A name no earlier call returned, without extension.
  std::string claim(std::string_view provider, std::string_view session_id);

 private:
  std::unordered_set<std::string> taken_;  // lower-case
};

}  // namespace vt::report
