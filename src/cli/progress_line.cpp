#include "cli/progress_line.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "core/file_walk.hpp"

namespace vt::cli {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr const char* kErase = "\r\x1b[K";

void write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;  // a progress line is never worth an error
    done += static_cast<std::size_t>(n);
  }
}

std::size_t terminal_columns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
  return 80;
}

std::string one_decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

std::string byte_text(std::uint64_t bytes) {
  constexpr const char* kUnits[] = {"B", "kB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1000.0 && unit + 1 < std::size(kUnits)) {
    value /= 1000.0;
    ++unit;
  }
  if (unit == 0) return std::to_string(bytes) + " B";
  return one_decimal(value) + " " + kUnits[unit];
}

ProgressLine::ProgressLine(int fd, std::vector<std::string> inputs, bool follow_symlinks) : fd_(fd) {
  measurer_ = std::thread([this, inputs = std::move(inputs), follow_symlinks] {
    if (inputs.size() == 1) measure(inputs.front(), follow_symlinks);
  });
  drawer_ = std::thread([this] { draw_loop(); });
}

ProgressLine::~ProgressLine() { finish(); }

void ProgressLine::finish() {
  if (finished_) return;
  finished_ = true;
  measuring_stopped_.store(true);
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  drawer_.join();
  measurer_.join();
  erase();
}

void ProgressLine::erase() {
  std::lock_guard lock(mutex_);
  if (!drawn_) return;
  write_all(fd_, kErase);
  drawn_ = false;
}

void ProgressLine::measure(const std::string& input, bool follow_symlinks) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::uint64_t files = 0, bytes = 0;
  const fs::path root(input);
  if (fs::is_regular_file(root, error)) {
    files = 1;
    bytes = fs::file_size(root, error);
    if (error) bytes = 0;
  } else {
    // The walk the run's readers make: each directory once, whatever links
    // lead to it again, and nothing on a pseudo file system.
    const WalkResult walk = walk_regular_files(root, follow_symlinks, nullptr, &measuring_stopped_);
    for (const fs::path& file : walk.files) {
      if (measuring_stopped_.load(std::memory_order_relaxed)) break;
      const auto size = fs::file_size(file, error);
      if (error) continue;
      ++files;
      bytes += size;
    }
    if (measuring_stopped_.load()) return;  // the total stays unknown
  }
  total_files_.store(files);
  total_bytes_.store(bytes);
  total_known_.store(true);
}

std::string ProgressLine::text() const {
  const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_);
  const std::uint64_t files = counters_.files.load(std::memory_order_relaxed);
  const std::uint64_t bytes = counters_.bytes.load(std::memory_order_relaxed);
  std::string line = writing_.load() ? "writing; read " : "reading: ";
  line += std::to_string(files);
  const bool total_known = total_known_.load();
  if (total_known) line += " of " + std::to_string(total_files_.load());
  line += (total_known ? total_files_.load() : files) == 1 ? " file, " : " files, ";
  line += byte_text(bytes);
  if (total_known_.load()) line += " of " + byte_text(total_bytes_.load());
  const double seconds = elapsed.count();
  if (seconds > 0.0) {
    line += ", " + one_decimal(static_cast<double>(bytes) / 1e6 / seconds) + " MB/s";
  }
  line += ", " + one_decimal(seconds) + " s";
  return line;
}

void ProgressLine::draw_loop() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    std::string line = text();
    const std::size_t columns = terminal_columns(fd_);
    if (line.size() >= columns) line.resize(columns - 1);  // a wrapped line cannot be redrawn
    write_all(fd_, "\r" + line + "\x1b[K");
    drawn_ = true;
    wake_.wait_for(lock, kRedraw, [this] { return stop_; });
  }
}

}  // namespace vt::cli
