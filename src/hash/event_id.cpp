#include "hash/event_id.hpp"

#include <charconv>

namespace vt {

std::string EventIds::make(Provider provider, ArtifactKind kind, std::string_view relative_path,
                           std::string_view source_key, std::optional<std::uint64_t> ordinal) {
  std::string& material = material_;
  material.clear();
  material.append(variant_name(provider)).push_back('\0');
  material.append(variant_name(kind)).push_back('\0');
  const std::size_t path_start = material.size();
  material.append(relative_path);
  for (std::size_t i = path_start; i < material.size(); ++i) {
    if (material[i] == '\\') material[i] = '/';
  }
  material.push_back('\0');
  material.append(source_key).push_back('\0');
  if (ordinal) {
    char digits[20];
    const auto end = std::to_chars(digits, digits + sizeof digits, *ordinal).ptr;
    material.append(digits, end);
  }

  digest_.update(material);
  const Digest first = digest_.finish();
  digest_.update(first.data(), first.size());
  return hex_lower(digest_.finish());
}

std::string event_id_for(Provider provider, ArtifactKind kind, std::string_view relative_path,
                         std::string_view source_key, std::optional<std::uint64_t> ordinal) {
  EventIds ids;
  return ids.make(provider, kind, relative_path, source_key, ordinal);
}

}  // namespace vt
