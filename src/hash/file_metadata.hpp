// What the file system says about a file: its size and its three times, read
// through links, with nanoseconds and, where the file system keeps it, the
// creation time.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <system_error>

#include "core/records.hpp"

namespace vt {

struct FileMetadata {
  std::uint64_t size = 0;
  bool regular = false;
  FsTimes times;  // each time absent when before 1970 or not kept
};

std::expected<FileMetadata, std::error_code> read_file_metadata(const std::filesystem::path& path);

// An instant from seconds and nanoseconds since 1970; absent before 1970.
std::optional<Instant> file_time(std::int64_t seconds, std::uint32_t nanos);

}  // namespace vt
