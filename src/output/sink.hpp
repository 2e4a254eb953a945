// Byte sinks the writers render into: an in-memory buffer or an open file.
#pragma once

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

// A file created (or truncated) for writing; closed when destroyed.
class FileSink final : public ByteSink {
 public:
  // The caller turns a failure into "Cannot create '{path}': {error}"
  // (see cannot_create_message); Python raises it as OSError.
  static std::expected<std::unique_ptr<FileSink>, std::error_code> create(
      const std::filesystem::path& path);
  ~FileSink() override;
  std::expected<void, std::error_code> write(const char* data, std::size_t size) override;
  std::expected<void, std::error_code> flush() override;

 private:
  explicit FileSink(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace vt
