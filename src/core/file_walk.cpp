#include "core/file_walk.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <optional>
#include <system_error>

#include "core/path_text.hpp"

namespace vt {

namespace fs = std::filesystem;

namespace {

struct DirId {
  dev_t dev;
  ino_t ino;
  friend auto operator<=>(const DirId&, const DirId&) = default;
};

std::optional<DirId> dir_id(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return DirId{st.st_dev, st.st_ino};
}

// An entry still to visit; `depth` is the number of directories above it in
// the walk, the start being at depth 0.
struct Pending {
  fs::directory_entry entry;
  std::size_t depth;
};

class Walker {
 public:
  Walker(bool follow_symlinks, bool (*accept)(std::string_view), const std::atomic<bool>* cancel)
      : follow_(follow_symlinks), accept_(accept), cancel_(cancel) {}

  WalkResult run(const fs::path& start) {
    enter(start, 0);
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

  void visit(const Pending& item) {
    const fs::path& path = item.entry.path();
    std::error_code ec;
    fs::file_type type = fs::file_type::none;
    if (item.entry.is_symlink(ec)) {
      if (!follow_) return;  // links below the start are taken only on request
      type = fs::status(path, ec).type();
    } else if (!ec) {
      type = item.entry.is_directory(ec) ? fs::file_type::directory : fs::file_type::unknown;
      if (!ec && type != fs::file_type::directory && item.entry.is_regular_file(ec)) type = fs::file_type::regular;
    }
    if (ec) return fail(path, ec);
    if (type == fs::file_type::directory) return enter(path, item.depth);
    if (type != fs::file_type::regular) return;  // FIFOs, sockets, devices: never opened
    if (accept_ == nullptr || accept_(path.filename().native())) result_.files.push_back(path);
  }

  // Lists a directory and schedules its entries in name order, so that the
  // files come out in path order and failures in a stable order.
  void enter(const fs::path& dir, std::size_t depth) {
    if (follow_ && !check_loop(dir, depth)) return;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return fail(dir, ec);
    std::vector<fs::directory_entry> entries;
    // A failed step ends the iterator; what was listed so far is still walked.
    for (; it != fs::directory_iterator(); it.increment(ec)) entries.push_back(*it);
    if (ec) fail(dir, ec);
    // Entries share their directory's prefix, so whole paths order as names.
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
      return a.path().native() < b.path().native();
    });
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) stack_.push_back(Pending{std::move(*e), depth + 1});
  }

  // With links followed a directory can lead back to one being walked, or to
  // one already walked through another path; either is reported and not
  // entered again.
  bool check_loop(const fs::path& dir, std::size_t depth) {
    chain_.resize(std::min(chain_.size(), depth));
    const auto id = dir_id(dir);
    if (!id) return true;  // listing it reports the failure
    for (const auto& [ancestor_id, ancestor] : chain_) {
      if (ancestor_id == *id) {
        fail(dir, path_text(dir) + ": file system loop: leads back to " + path_text(ancestor));
        return false;
      }
    }
    const auto [first, inserted] = entered_.try_emplace(*id, dir);
    if (!inserted) {
      fail_repeat(dir, first->second);
      return false;
    }
    chain_.emplace_back(*id, dir);
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
