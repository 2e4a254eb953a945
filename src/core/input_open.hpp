// Opening what a run reads so that the evidence stays as it was found: the
// access time of a file or directory is not moved where the kernel allows it
// (the owner, or root), and nothing is ever taken from a file system that is
// a view of the running machine rather than stored data (proc, sys, the
// device and control file systems): their files can be endless, change on
// every read, or hand out the secrets of the machine the tool runs on.
#pragma once

#include <expected>
#include <string_view>
#include <system_error>

namespace vt {

// open(2) of `path` with `flags`, asking not to update its access time; where
// that is refused (someone else's file), opened as usual. Retries EINTR.
std::expected<int, std::error_code> open_input(const char* path, int flags);

// The error of an input on such a file system, when the open descriptor `fd`
// lies on one ("On a proc file system: not read"); no error otherwise.
std::error_code pseudo_file_system_error(int fd);

}  // namespace vt
