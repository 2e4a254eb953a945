#include "hash/event_id.hpp"

#include <charconv>

namespace vt {

void EventIds::start_prefix(Provider provider, ArtifactKind kind, std::string_view relative_path) {
  provider_ = provider;
  kind_ = kind;
  path_.assign(relative_path);
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
  prefix_ = Sha256();
  prefix_.update(material);
  has_prefix_ = true;
}

EventIdText EventIds::make(Provider provider, ArtifactKind kind, std::string_view relative_path,
                           std::string_view source_key, std::optional<std::uint64_t> ordinal) {
  if (!has_prefix_ || provider != provider_ || kind != kind_ || relative_path != path_) {
    start_prefix(provider, kind, relative_path);
  }
  Sha256 digest = prefix_;
  digest.update(source_key);
  char tail[21] = {'\0'};
  std::size_t tail_size = 1;
  if (ordinal) tail_size = static_cast<std::size_t>(std::to_chars(tail + 1, tail + sizeof tail, *ordinal).ptr - tail);
  digest.update(tail, tail_size);
  const Digest first = digest.finish();
  digest.update(first.data(), first.size());
  EventIdText id;
  hex_lower_into(digest.finish(), id.overwrite(EventIdText::kCapacity));
  return id;
}

std::string event_id_for(Provider provider, ArtifactKind kind, std::string_view relative_path,
                         std::string_view source_key, std::optional<std::uint64_t> ordinal) {
  EventIds ids;
  return ids.make(provider, kind, relative_path, source_key, ordinal).str();
}

}  // namespace vt
