#include "jsonl/relative_path.hpp"

#include <string_view>

#include "core/path_text.hpp"

namespace vt {

namespace {

// The components of a path that name something, read in place: a leading
// separator is the root "/", repeated and trailing separators and "."
// components after the first are passed over (as std::filesystem's iteration
// gives them, less the empty and dot ones).
class Components {
 public:
  explicit Components(std::string_view text) : text_(text) {}

  // The next component; false at the end.
  bool next(std::string_view& part) {
    if (at_ == 0 && !text_.empty() && text_.front() == '/') {
      while (at_ < text_.size() && text_[at_] == '/') ++at_;
      part = text_.substr(0, 1);
      any_ = true;
      return true;
    }
    for (;;) {
      while (at_ < text_.size() && text_[at_] == '/') ++at_;
      if (at_ == text_.size()) return false;
      const std::size_t end = std::min(text_.find('/', at_), text_.size());
      part = text_.substr(at_, end - at_);
      at_ = end;
      if (part == "." && any_) continue;
      any_ = true;
      return true;
    }
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  bool any_ = false;  // a component was given already
};

}  // namespace

std::string relative_path_for(const std::filesystem::path& path, const std::filesystem::path& root) {
  Components root_parts(root.native()), path_parts(path.native());
  std::string_view root_part, path_part;
  bool any_root = false;
  while (root_parts.next(root_part)) {
    any_root = true;
    if (!path_parts.next(path_part) || path_part != root_part) return path_text(path);
  }
  if (!any_root) return path_text(path);
  std::string rest;
  while (path_parts.next(path_part)) {
    if (!rest.empty()) rest.push_back('/');
    rest.append(path_part);
  }
  return path_text_of(rest);
}

}  // namespace vt
