// What makes a file a rollout log and a directory a home of rollout logs:
// `sessions` (dated subdirectories) and `archived_sessions` (where a rollout
// moves, unchanged, when its thread is archived). A rollout is stored plain
// (`.jsonl`) or zstd-compressed (`.jsonl.zst`).
#pragma once

#include <array>
#include <string_view>

#include "jsonl/byte_source.hpp"

namespace vt::codex {

// The directory names that hold rollout files, in the order a root reads them.
inline constexpr std::array<std::string_view, 2> kSessionDirNames = {"sessions", "archived_sessions"};

bool is_session_dir_name(std::string_view name);

// "rollout-" followed by anything, ending in ".jsonl" or ".jsonl.zst".
bool is_rollout_name(std::string_view name);

// "rollout-" followed by anything, ending in ".json": a rollout written as
// one JSON document by older versions (read in the full reading only).
bool is_rollout_document_name(std::string_view name);
// Either kind of name.
bool is_any_rollout_name(std::string_view name);

// How a rollout file is stored, by its name: compressed when it ends in ".zst".
StoredAs rollout_storage(std::string_view name);

// The name with a compression suffix removed, for reading the session id.
std::string_view without_compression_suffix(std::string_view name);

}  // namespace vt::codex
