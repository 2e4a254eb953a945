#include "hash/event_id.hpp"

#include <charconv>

#include "hash/sha256.hpp"

namespace vt {

std::string event_id_for(Provider provider, ArtifactKind kind, std::string_view relative_path,
                         std::string_view source_key, std::optional<std::uint64_t> ordinal) {
  const std::string_view provider_name = variant_name(provider);
  const std::string_view kind_name = variant_name(kind);

  std::string material;
  material.reserve(provider_name.size() + kind_name.size() + relative_path.size() +
                   source_key.size() + 4 + 20);
  material.append(provider_name).push_back('\0');
  material.append(kind_name).push_back('\0');
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

  const Digest first = sha256_of(material);
  const Digest second =
      sha256_of(std::string_view(reinterpret_cast<const char*>(first.data()), first.size()));
  return hex_lower(second);
}

}  // namespace vt
