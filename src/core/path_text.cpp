#include "core/path_text.hpp"

#include "core/utf8.hpp"

namespace vt {

bool is_valid_utf8(std::string_view bytes) { return valid_utf8(bytes); }

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const auto bad = find_utf8_error(bytes);
    if (!bad) {
      out.append(bytes);
      break;
    }
    out.append(bytes.substr(0, bad->valid_up_to));
    out.append("\xEF\xBF\xBD");
    // A sequence cut short by the end is replaced as a whole.
    const std::size_t skip = bad->error_length == 0 ? bytes.size() - bad->valid_up_to
                                                    : bad->error_length;
    bytes.remove_prefix(bad->valid_up_to + skip);
  }
  return out;
}

std::string path_text(const std::filesystem::path& path) { return path_text_of(path.native()); }

std::string path_text_of(std::string_view native) {
  std::string text = utf8_lossy(native);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

std::string os_error_text(const std::error_code& error) {
  return error.message();
}

}  // namespace vt
