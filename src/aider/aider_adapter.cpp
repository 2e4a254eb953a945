// Classification of a path as an Aider input, the directory its events'
// relative paths start from (the place itself), and the reading.
#include "aider/aider_adapter.hpp"

#include "aider/aider_places.hpp"
#include "aider/aider_run.hpp"
#include "core/file_kind.hpp"
#include "core/path_names.hpp"

namespace vt::aider {

namespace fs = std::filesystem;

Result<std::optional<InputKind>> probe(const fs::path& path, bool follow_symlinks) {
  const auto kind = file_kind(path, follow_symlinks);
  if (!kind) return fail(ParseError::io(path, kind.error()));
  if (*kind == FileKind::Directory && is_aider_place(path, follow_symlinks)) return InputKind::AiderPlace;
  const auto name = path_name(path);
  if (*kind == FileKind::Regular && name && is_aider_file_name(*name)) return InputKind::AiderFile;
  return std::nullopt;
}

fs::path base_dir(const fs::path& path, InputKind kind) {
  return kind == InputKind::AiderPlace ? path : lexical_parent(without_trailing_separators(path));
}

bool supports_kind(InputKind kind) { return kind == InputKind::AiderPlace || kind == InputKind::AiderFile; }

std::uint8_t detection_priority(const fs::path&, InputKind) { return 80; }

Result<AdapterOutput> parse_input(const fs::path& path, InputKind kind, const fs::path& base_dir,
                                  const ParseOptions& options) {
  switch (kind) {
    case InputKind::AiderPlace: return read_place(path, base_dir, options);
    case InputKind::AiderFile: return read_file(path, base_dir, options);
    default: break;
  }
  return fail(ParseError::message("Aider adapter does not support input kind " + std::string(input_kind_name(kind)) +
                                  "."));
}

}  // namespace vt::aider
