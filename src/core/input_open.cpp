#include "core/input_open.hpp"

#include <cerrno>
#include <cstdint>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace vt {

namespace {

struct PseudoFileSystem {
  std::uint32_t magic;
  const char* name;
};

// The kernel's own file systems, by the magic number statfs(2) reports.
constexpr PseudoFileSystem kPseudo[] = {
    {0x9fa0, "proc"},           {0x62656572, "sysfs"},       {0x1cd1, "devpts"},
    {0x64626720, "debugfs"},    {0x74726163, "tracefs"},     {0x73636673, "securityfs"},
    {0x27e0eb, "cgroup"},       {0x63677270, "cgroup2"},     {0xcafe4a11, "bpf"},
    {0x62656570, "configfs"},   {0x6165676c, "pstore"},      {0xde5e81e4, "efivarfs"},
    {0xf97cff8c, "selinuxfs"},  {0x42494e4d, "binfmt_misc"}, {0x65735543, "fusectl"},
    {0x19800202, "mqueue"},
};
constexpr std::uint32_t kTmpfsMagic = 0x01021994;
// Error values: 1 + the index in kPseudo (0 means no error), then /dev's own.
constexpr int kDevtmpfs = static_cast<int>(std::size(kPseudo)) + 1;

class PseudoCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "vellumtrace.pseudo_fs"; }
  std::string message(int which) const override {
    if (which < 1 || which > kDevtmpfs) return "Not read";
    const char* fs = which == kDevtmpfs ? "device" : kPseudo[which - 1].name;
    return std::string("On a ") + fs + " file system: not read";
  }
};

const PseudoCategory& pseudo_category() {
  static const PseudoCategory category;
  return category;
}

// devtmpfs (or the tmpfs a container mounts there) calls itself tmpfs; it is
// told apart as the file system mounted on /dev.
bool on_device_file_system(int fd) {
  struct stat own {}, dev {}, root {};
  return ::fstat(fd, &own) == 0 && ::stat("/dev", &dev) == 0 && ::stat("/", &root) == 0 &&
         dev.st_dev != root.st_dev && own.st_dev == dev.st_dev;
}

}  // namespace

std::expected<int, std::error_code> open_input(const char* path, int flags) {
  int extra = O_NOATIME;
  for (;;) {
    const int fd = ::open(path, flags | extra);
    if (fd >= 0) return fd;
    if (errno == EINTR) continue;
    if (errno == EPERM && extra != 0) {
      extra = 0;  // not ours to keep unchanged: read as anyone would
      continue;
    }
    return std::unexpected(std::error_code(errno, std::system_category()));
  }
}

std::error_code pseudo_file_system_error(int fd) {
  struct statfs info {};
  if (::fstatfs(fd, &info) != 0) return {};
  const auto magic = static_cast<std::uint32_t>(info.f_type);
  for (std::size_t i = 0; i < std::size(kPseudo); ++i) {
    if (kPseudo[i].magic == magic) return {static_cast<int>(i) + 1, pseudo_category()};
  }
  if (magic == kTmpfsMagic && on_device_file_system(fd)) return {kDevtmpfs, pseudo_category()};
  return {};
}

}  // namespace vt
