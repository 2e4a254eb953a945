#include "cli/report_dir.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "cli/output_file.hpp"
#include "cli/version.hpp"
#include "output/session_report/report_texts.hpp"

namespace vt::cli {

namespace fs = std::filesystem;

bool is_report_format(const std::string& format) { return format == "markdown" || format == "html"; }

std::string write_report_dir(const Report& report, const Arguments& args, const InputFiles& inputs,
                             InterruptWatch& watch) {
  const fs::path directory(args.output);
  std::error_code error;
  fs::create_directories(directory, error);
  if (!error && !fs::is_directory(directory, error)) error = std::make_error_code(std::errc::not_a_directory);
  if (error) return cannot_create_message(directory, error);

  std::string failure;
  const report::PageOut page = [&](const std::string& name, std::string_view content) -> Status {
    const fs::path path = directory / name;
    if (const std::error_code refused = output_names_an_input(path, inputs)) {
      failure = cannot_create_message(path, refused);
      return fail(ParseError::message(failure));
    }
    auto opened = OutputFile::open(path.string(), watch);
    if (!opened) {
      failure = opened.error();
      return fail(ParseError::message(failure));
    }
    if (auto written = (*opened)->sink().write(content.data(), content.size()); !written) {
      failure = "I/O write error: " + written.error().message();
      return fail(ParseError::message(failure));
    }
    if (auto committed = (*opened)->commit(false); !committed) {
      failure = committed.error();
      return fail(ParseError::message(failure));
    }
    return {};
  };
  const report::ReportSettings settings{args.no_message, "vellumtrace " + std::string(kVersion)};
  const Status written = args.format == "html" ? report::write_html_report(report, settings, page)
                                               : report::write_markdown_report(report, settings, page);
  if (!written) return failure.empty() ? written.error().text() : failure;
  // The pages reach the disk together: one sync of the file system.
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || ::syncfs(fd) != 0) {
    const std::error_code sync_error(errno, std::system_category());
    if (fd >= 0) ::close(fd);
    return cannot_create_message(directory, sync_error);
  }
  ::close(fd);
  return {};
}

}  // namespace vt::cli
