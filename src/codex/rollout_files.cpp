#include "codex/rollout_files.hpp"

#include <algorithm>

namespace vt::codex {

namespace {

constexpr std::string_view kCompressedSuffix = ".zst";

}  // namespace

bool is_session_dir_name(std::string_view name) {
  return std::ranges::find(kSessionDirNames, name) != kSessionDirNames.end();
}

bool is_rollout_name(std::string_view name) {
  return name.starts_with("rollout-") && without_compression_suffix(name).ends_with(".jsonl");
}

bool is_rollout_document_name(std::string_view name) {
  return name.starts_with("rollout-") && name.ends_with(".json");
}

bool is_any_rollout_name(std::string_view name) {
  return is_rollout_name(name) || is_rollout_document_name(name);
}

StoredAs rollout_storage(std::string_view name) {
  return name.ends_with(kCompressedSuffix) ? StoredAs::Zstd : StoredAs::Plain;
}

std::string_view without_compression_suffix(std::string_view name) {
  if (name.ends_with(kCompressedSuffix)) name.remove_suffix(kCompressedSuffix.size());
  return name;
}

}  // namespace vt::codex
