#include "cli/report_dir.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

#include "cli/report_manifest.hpp"
#include "cli/version.hpp"
#include "hash/sha256.hpp"
#include "output/session_report/report_texts.hpp"

namespace vt::cli {

namespace fs = std::filesystem;

namespace {

// An old page larger than this is left alone rather than read to compare.
constexpr std::size_t kComparedLimit = 256u << 20;

std::error_code last_error() { return std::error_code(errno, std::system_category()); }

mode_t creation_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::expected<void, std::error_code> write_all(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::unexpected(last_error());
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

// The whole content of the regular file `name` in `dir`, when it is one (a
// link or anything else is not opened through) and not over `limit`.
std::optional<std::string> read_regular(int dir, const std::string& name, std::size_t limit) {
  const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text;
  struct stat info{};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) <= limit) {
    text.emplace();
    char buffer[1 << 16];
    while (true) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        text.reset();
        break;
      }
      if (n == 0) break;
      text->append(buffer, static_cast<std::size_t>(n));
      if (text->size() > limit) {
        text.reset();
        break;
      }
    }
  }
  ::close(fd);
  return text;
}

struct StagedPage {
  std::string name;
  std::string temporary;  // full path
  std::string sha256;
};

// The pages of one report on their way into the folder.
class ReportFolder {
 public:
  ReportFolder(fs::path directory, int fd, const InputFiles& inputs, InterruptWatch& watch)
      : directory_(std::move(directory)), fd_(fd), inputs_(inputs), watch_(watch) {}
  ReportFolder(const ReportFolder&) = delete;
  ReportFolder& operator=(const ReportFolder&) = delete;

  ~ReportFolder() {
    watch_.exclusive([&] {
      for (const StagedPage& page : staged_) {
        if (page.temporary.empty()) continue;
        ::unlink(page.temporary.c_str());
        watch_.drop_temporary(page.temporary);
      }
    });
    ::close(fd_);
  }

  const std::string& failure() const { return failure_; }

  // Writes a page's `content` to a new temporary file beside `name`.
  Status stage(const std::string& name, std::string_view content) {
    if (!page_file_name(name)) return refuse(directory_ / name, std::make_error_code(std::errc::invalid_argument));
    return stage_file(name, content);
  }

  // Puts every staged page and the manifest in place, then removes the
  // pages of the earlier report that this one did not write again.
  Status place() {
    const std::vector<ManifestEntry> earlier =
        parse_manifest(read_regular(fd_, std::string(kManifestName), kManifestLimit).value_or(""));
    std::vector<ManifestEntry> entries;
    std::set<std::string> names;
    for (const StagedPage& page : staged_) {
      entries.push_back(ManifestEntry{page.sha256, page.name});
      names.insert(page.name);
    }
    if (Status staged = stage_file(std::string(kManifestName), manifest_text(entries)); !staged) return staged;
    // The pages reach the disk before any takes its name: one sync.
    if (::syncfs(fd_) != 0) return refuse(directory_, last_error());
    std::error_code error;
    std::string failed;
    watch_.exclusive([&] {
      for (StagedPage& page : staged_) {
        const std::string temporary = fs::path(page.temporary).filename().native();
        if (!error && ::renameat(fd_, temporary.c_str(), fd_, page.name.c_str()) != 0) {
          error = last_error();
          failed = page.name;
        }
        if (error) ::unlink(page.temporary.c_str());
        watch_.drop_temporary(page.temporary);
        page.temporary.clear();
      }
    });
    if (error) return refuse(directory_ / failed, error);
    for (const ManifestEntry& old : earlier) {
      if (names.contains(old.name)) continue;
      const auto content = read_regular(fd_, old.name, kComparedLimit);
      if (content && hex_lower(sha256_of(*content)) == old.sha256) ::unlinkat(fd_, old.name.c_str(), 0);
    }
    if (::fsync(fd_) != 0) return refuse(directory_, last_error());
    return {};
  }

 private:
  Status refuse(const fs::path& path, const std::error_code& error) {
    failure_ = cannot_create_message(path, error);
    return fail(ParseError::message(failure_));
  }

  Status stage_file(const std::string& name, std::string_view content) {
    const fs::path path = directory_ / name;
    struct stat entry{};
    const bool exists = ::fstatat(fd_, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
    // An entry that is a link is replaced, its target never touched; a file
    // of this run's input is not replaced at all.
    if (exists && !S_ISLNK(entry.st_mode)) {
      if (S_ISDIR(entry.st_mode)) return refuse(path, std::make_error_code(std::errc::is_a_directory));
      if (const std::error_code refused = output_names_an_input(path, inputs_)) return refuse(path, refused);
    }
    std::string pattern = (directory_ / ("." + name + ".partial-XXXXXX")).native();
    int fd = -1;
    std::error_code error;
    watch_.exclusive([&] {
      fd = ::mkostemp(pattern.data(), O_CLOEXEC);
      if (fd < 0) {
        error = last_error();
        return;
      }
      watch_.add_temporary(pattern);
      staged_.push_back(StagedPage{name, pattern, hex_lower(sha256_of(content))});
    });
    if (fd < 0) return refuse(path, error);
    ::fchmod(fd, creation_mode());
    auto written = write_all(fd, content);
    if (::close(fd) != 0 && written) written = std::unexpected(last_error());
    if (!written) return refuse(path, written.error());
    return {};
  }

  fs::path directory_;
  int fd_;
  const InputFiles& inputs_;
  InterruptWatch& watch_;
  std::vector<StagedPage> staged_;
  std::string failure_;
};

}  // namespace

bool is_report_format(const std::string& format) { return format == "markdown" || format == "html"; }

namespace {

// The folders `directory` needs that are not there yet, deepest first.
std::vector<fs::path> missing_folders(const fs::path& directory) {
  std::vector<fs::path> missing;
  std::error_code error;
  fs::path folder = fs::absolute(directory, error).lexically_normal();
  if (error) return missing;
  if (!folder.has_filename()) folder = folder.parent_path();
  struct stat entry{};
  while (folder.has_relative_path() && ::lstat(folder.c_str(), &entry) != 0 && errno == ENOENT) {
    missing.push_back(folder);
    folder = folder.parent_path();
  }
  return missing;
}

std::string write_pages(const fs::path& directory, const Report& report, const Arguments& args,
                        const InputFiles& inputs, InterruptWatch& watch, const std::string& price_date) {
  std::error_code error;
  fs::create_directories(directory, error);
  if (!error && !fs::is_directory(directory, error)) error = std::make_error_code(std::errc::not_a_directory);
  if (error) return cannot_create_message(directory, error);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return cannot_create_message(directory, last_error());

  ReportFolder folder(directory, fd, inputs, watch);
  const report::PageOut page = [&](const std::string& name, std::string_view content) {
    return folder.stage(name, content);
  };
  const report::ReportSettings settings{args.no_message, "vellumtrace " + std::string(kVersion), price_date};
  Status written = args.format == "html" ? report::write_html_report(report, settings, page)
                                         : report::write_markdown_report(report, settings, page);
  if (written) written = folder.place();
  if (!written) return folder.failure().empty() ? written.error().text() : folder.failure();
  return {};
}

}  // namespace

// A folder this run had to create is removed again (when empty) if the
// report fails or a signal ends the run: the folder is complete or untouched.
std::string write_report_dir(const Report& report, const Arguments& args, const InputFiles& inputs,
                             InterruptWatch& watch, const std::string& price_date) {
  const fs::path directory(args.output);
  const std::vector<fs::path> created = missing_folders(directory);
  watch.exclusive([&] { watch.add_created_folders(created); });
  const std::string failure = write_pages(directory, report, args, inputs, watch, price_date);
  watch.exclusive([&] {
    if (!failure.empty()) {
      for (const fs::path& folder : created) ::rmdir(folder.c_str());
    }
    watch.drop_created_folders();
  });
  return failure;
}

}  // namespace vt::cli
