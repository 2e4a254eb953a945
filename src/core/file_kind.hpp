// What kind of file-system object a path is, read with or without following
// symbolic links. Classification never opens anything, so a FIFO, socket or
// device in an artifact tree is only ever named, never read.
#pragma once

#include <expected>
#include <filesystem>
#include <system_error>

namespace vt {

enum class FileKind { Directory, Regular, Symlink, Other };

// The kind of `path`; with `follow_symlinks` a link is resolved first and a
// dangling link or loop is an error. Errors carry the operating system's code.
std::expected<FileKind, std::error_code> file_kind(const std::filesystem::path& path,
                                                   bool follow_symlinks);

// Whether `path` is of kind `wanted`; false when it cannot be examined.
bool is_file_kind(const std::filesystem::path& path, bool follow_symlinks, FileKind wanted);

// The kind of a listed directory entry: its own attributes (a link stays a
// link) or, with `follow_symlinks`, its target's.
std::expected<FileKind, std::error_code> entry_kind(const std::filesystem::directory_entry& entry,
                                                    bool follow_symlinks);

}  // namespace vt
