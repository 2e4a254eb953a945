// A destination file written safely: the rendering goes to a temporary file
// beside the destination, which replaces it only once everything was written.
// On failure or interruption the temporary disappears and an existing
// destination stays as it was. A symbolic link is written through to its
// target; a destination that exists and is not a regular file (a device, a
// FIFO) is written in place, since it cannot be replaced. A path naming the
// open file of standard output or error (/dev/stdout, /dev/fd/2, the file the
// shell redirected to) is written through that descriptor, at its position,
// never opened a second time.
#pragma once

#include <expected>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/interrupts.hpp"
#include "output/sink.hpp"

namespace vt::cli {

class OutputFile {
 public:
  // Failures read "Cannot create '{path}': {error}".
  static std::expected<std::unique_ptr<OutputFile>, std::string> open(const std::string& path,
                                                                      InterruptWatch& watch);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  ByteSink& sink() { return sink_; }
  int descriptor() const { return fd_; }
  // Puts the written file in place of the destination; `durable`: on disk
  // first (a caller writing many files may sync them all at once instead).
  std::expected<void, std::string> commit(bool durable = true);
  // Removes the temporary (if any) and leaves the destination alone.
  void discard();

 private:
  OutputFile(std::string shown, std::filesystem::path destination, InterruptWatch& watch, int fd,
             bool owned = true)
      : shown_(std::move(shown)), destination_(std::move(destination)), watch_(watch), fd_(fd),
        owned_(owned), sink_(fd) {}
  void close_descriptor();
  std::string failure(const std::error_code& error) const;

  std::string shown_;                  // the path as given, for messages
  std::filesystem::path destination_;  // after following links
  std::filesystem::path temporary_;    // empty when written in place
  InterruptWatch& watch_;
  int fd_ = -1;
  bool owned_ = true;  // false for standard output or error
  DescriptorSink sink_;
};

}  // namespace vt::cli
