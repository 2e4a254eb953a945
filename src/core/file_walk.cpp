#include "core/file_walk.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <system_error>

#include "core/input_open.hpp"
#include "core/path_text.hpp"

namespace vt {

namespace fs = std::filesystem;

namespace {

struct DirId {
  dev_t dev;
  ino_t ino;
  friend auto operator<=>(const DirId&, const DirId&) = default;
};

// A directory entry's own type as the listing told it (a link stays a link);
// `none` when the file system did not say.
fs::file_type listed_type(unsigned char d_type) {
  switch (d_type) {
    case DT_DIR: return fs::file_type::directory;
    case DT_REG: return fs::file_type::regular;
    case DT_LNK: return fs::file_type::symlink;
    case DT_UNKNOWN: return fs::file_type::none;
    default: return fs::file_type::unknown;
  }
}

// An entry still to visit; `depth` is the number of directories above it in
// the walk, the start being at depth 0. Its path is kept as plain text: a path
// object splits itself into components on every construction, and most
// entries never need one.
struct Pending {
  std::string path;
  fs::file_type type;  // its own type, none when still to be looked up
  std::size_t depth;
};

// Closes a directory stream (and the descriptor it took over).
struct DirClose {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

class Walker {
 public:
  Walker(bool follow_symlinks, bool (*accept)(std::string_view), const std::atomic<bool>* cancel)
      : follow_(follow_symlinks), accept_(accept), cancel_(cancel) {}

  WalkResult run(const fs::path& start) {
    enter(start.native(), 0);
    while (!stack_.empty() && !(cancel_ != nullptr && cancel_->load(std::memory_order_relaxed))) {
      Pending next = std::move(stack_.back());
      stack_.pop_back();
      visit(next);
    }
    return std::move(result_);
  }

 private:
  void fail(const fs::path& path, std::string detail) {
    result_.failures.push_back(WalkFailure{path, std::move(detail)});
  }
  void fail_repeat(const fs::path& path, const fs::path& first) {
    result_.failures.push_back(
        WalkFailure{path, path_text(path) + ": already read through " + path_text(first), true});
  }
  void fail(const fs::path& path, const std::error_code& ec) {
    fail(path, path_text(path) + ": " + os_error_text(ec));
  }

  void visit(Pending& item) {
    std::string& path = item.path;
    std::error_code ec;
    fs::file_type type = item.type;
    if (type == fs::file_type::none) type = fs::symlink_status(path, ec).type();
    if (!ec && type == fs::file_type::symlink) {
      if (!follow_) return;  // links below the start are taken only on request
      type = fs::status(path, ec).type();
    }
    if (ec) return fail(path, ec);
    if (type == fs::file_type::directory) return enter(path, item.depth);
    if (type != fs::file_type::regular) return;  // FIFOs, sockets, devices: never opened
    // An entry's path ends in its name (a directory's path joined with it).
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    if (accept_ == nullptr || accept_(name)) result_.files.emplace_back(std::move(path));
  }

  // `dir / name` as std::filesystem joins them.
  static std::string joined(const std::string& dir, std::string_view name) {
    std::string path;
    path.reserve(dir.size() + 1 + name.size());
    path.append(dir);
    if (!dir.empty() && dir.back() != '/') path.push_back('/');
    path.append(name);
    return path;
  }

  // Lists a directory and schedules its entries in name order, so that the
  // files come out in path order and failures in a stable order. A directory
  // of a pseudo file system is reported and not listed.
  void enter(const std::string& dir, std::size_t depth) {
    const auto opened = open_input(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!opened) return fail(dir, opened.error());
    std::unique_ptr<DIR, DirClose> listing(::fdopendir(*opened));
    if (!listing) {
      const std::error_code ec(errno, std::system_category());
      ::close(*opened);
      return fail(dir, ec);
    }
    const int fd = ::dirfd(listing.get());
    if (const std::error_code pseudo = pseudo_file_system_error(fd)) return fail(dir, pseudo);
    if (follow_ && !check_loop(fd, dir, depth)) return;
    std::vector<Pending> entries;
    // A failed step ends the listing; what was listed so far is still walked.
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(listing.get());
      if (entry == nullptr) {
        if (errno != 0) fail(dir, std::error_code(errno, std::system_category()));
        break;
      }
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      entries.push_back(Pending{joined(dir, name), listed_type(entry->d_type), depth + 1});
    }
    // Entries share their directory's prefix, so whole paths order as names.
    std::sort(entries.begin(), entries.end(), [](const Pending& a, const Pending& b) { return a.path < b.path; });
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) stack_.push_back(std::move(*e));
  }

  // With links followed a directory can lead back to one being walked, or to
  // one already walked through another path; either is reported and not
  // entered again.
  bool check_loop(int fd, const std::string& dir, std::size_t depth) {
    chain_.resize(std::min(chain_.size(), depth));
    struct stat st {};
    if (::fstat(fd, &st) != 0) return true;
    const DirId id{st.st_dev, st.st_ino};
    for (const auto& [ancestor_id, ancestor] : chain_) {
      if (ancestor_id == id) {
        fail(dir, path_text(dir) + ": file system loop: leads back to " + path_text(ancestor));
        return false;
      }
    }
    const auto [first, inserted] = entered_.try_emplace(id, dir);
    if (!inserted) {
      fail_repeat(dir, first->second);
      return false;
    }
    chain_.emplace_back(id, dir);
    return true;
  }

  bool follow_;
  bool (*accept_)(std::string_view);
  const std::atomic<bool>* cancel_;
  std::vector<Pending> stack_;
  std::vector<std::pair<DirId, fs::path>> chain_;  // directories above the current one
  std::map<DirId, fs::path> entered_;              // every directory entered, by first path
  WalkResult result_;
};

}  // namespace

WalkResult walk_regular_files(const fs::path& start, bool follow_symlinks,
                              bool (*accept)(std::string_view file_name),
                              const std::atomic<bool>* cancel) {
  return Walker(follow_symlinks, accept, cancel).run(start);
}

}  // namespace vt
