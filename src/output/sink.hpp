// Byte sinks the writers render into: an in-memory buffer, a file the sink
// creates and owns, or a descriptor someone else owns (standard output).
#pragma once

#include <atomic>
#include <cstddef>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "core/parse_error.hpp"

namespace vt {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all of `data` or reports why not.
  virtual std::expected<void, std::error_code> write(const char* data, std::size_t size) = 0;
  virtual std::expected<void, std::error_code> flush() = 0;
  // As write(), and tells how many leading bytes of `data` the sink took
  // before failing, so that a buffer in front of it never sends them twice.
  virtual std::expected<void, std::error_code> write_counted(const char* data, std::size_t size,
                                                             std::size_t& accepted);
};

std::string cannot_create_message(const std::filesystem::path& path, const std::error_code& error);

class MemorySink final : public ByteSink {
 public:
  std::expected<void, std::error_code> write(const char* data, std::size_t size) override;
  std::expected<void, std::error_code> flush() override { return {}; }
  std::string& buffer() { return buffer_; }

 private:
  std::string buffer_;
};

// Writes to a descriptor it does not own (for example standard output). A
// descriptor in non-blocking mode is waited on until it takes more, and
// while waiting, a stop asked for through stop_when() ends the write.
class DescriptorSink : public ByteSink {
 public:
  explicit DescriptorSink(int fd) : fd_(fd) {}
  std::expected<void, std::error_code> write(const char* data, std::size_t size) override;
  std::expected<void, std::error_code> write_counted(const char* data, std::size_t size,
                                                     std::size_t& accepted) override;
  std::expected<void, std::error_code> flush() override { return {}; }
  void stop_when(const std::atomic<bool>* cancel) { cancel_ = cancel; }

 protected:
  int fd_ = -1;
  const std::atomic<bool>* cancel_ = nullptr;
};

// Passes writes on to another sink until `*cancel` becomes true; from then
// on every write fails, so that a writer stops at its next check.
class CancellableSink final : public ByteSink {
 public:
  CancellableSink(ByteSink& target, const std::atomic<bool>& cancel) : target_(target), cancel_(cancel) {}
  std::expected<void, std::error_code> write(const char* data, std::size_t size) override;
  std::expected<void, std::error_code> write_counted(const char* data, std::size_t size,
                                                     std::size_t& accepted) override;
  std::expected<void, std::error_code> flush() override { return target_.flush(); }

 private:
  ByteSink& target_;
  const std::atomic<bool>& cancel_;
};

// A file created (or truncated) for writing; closed when destroyed. A FIFO or
// device is opened and written without blocking: opening waits for a reader
// and writing for room only as long as `*cancel` (when given) stays false.
class FileSink final : public DescriptorSink {
 public:
  // The caller turns a failure into "Cannot create '{path}': {error}"
  // (see cannot_create_message); Python raises it as OSError. A stop
  // while waiting fails with operation_canceled.
  static std::expected<std::unique_ptr<FileSink>, std::error_code> create(
      const std::filesystem::path& path, const std::atomic<bool>* cancel = nullptr);
  ~FileSink() override;
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  // True when the file did not exist before and this sink created it.
  bool created() const { return created_; }
  // Removes the path again when this sink created it and it still names this
  // very file (held open, so that no other file can have taken its place
  // unnoticed); anything else found there, a link, a device, a FIFO or
  // another file, stays. The only destination an interrupted call removes.
  void remove_if_created();

 private:
  FileSink(int fd, std::filesystem::path path) : DescriptorSink(fd), path_(std::move(path)) {}
  std::filesystem::path path_;
  bool created_ = false;
};

}  // namespace vt
