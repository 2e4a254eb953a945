#include "cli/interrupts.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace vt::cli {

namespace {

sigset_t watched_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  const sigset_t set = watched_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal_fd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
  if (signal_fd_ < 0 || stop_fd_ < 0) {
    // No way to watch: the signals keep their default action.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return;
  }
  watcher_ = std::thread([this] { watch(); });
}

InterruptWatch::~InterruptWatch() {
  const std::uint64_t one = 1;
  // Adding 1 to a fresh event counter cannot fail.
  if (watcher_.joinable()) {
    [[maybe_unused]] const auto woken = ::write(stop_fd_, &one, sizeof one);
    watcher_.join();
  }
  if (signal_fd_ >= 0) ::close(signal_fd_);
  if (stop_fd_ >= 0) ::close(stop_fd_);
}

void InterruptWatch::on_signal(std::function<void()> tidy) {
  std::lock_guard lock(mutex_);
  tidy_ = std::move(tidy);
}

void InterruptWatch::watch() {
  for (;;) {
    pollfd fds[2] = {{signal_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0 || (fds[0].revents & (POLLERR | POLLNVAL)) != 0) return;
    signalfd_siginfo info{};
    if (::read(signal_fd_, &info, sizeof info) != sizeof info) continue;
    const int signal_number = static_cast<int>(info.ssi_signo);
    mutex_.lock();  // held until the process ends: nothing renames after this
    for (const std::string& path : temporaries_) ::unlink(path.c_str());
    for (const std::string& folder : created_folders_) ::rmdir(folder.c_str());
    if (tidy_) tidy_();
    ::_exit(128 + signal_number);
  }
}

}  // namespace vt::cli
