#include "core/parse_error.hpp"

#include "core/path_text.hpp"

namespace vt {

ParseError ParseError::io(const std::filesystem::path& path, const std::error_code& error) {
  return io(path, os_error_text(error));
}

ParseError ParseError::io(const std::filesystem::path& path, std::string error_text) {
  ParseError e;
  e.kind_ = ParseErrorKind::Io;
  e.path_ = path_text(path);
  e.detail_ = std::move(error_text);
  return e;
}

ParseError ParseError::json_parse(std::string path_text, std::uint64_t line, std::string detail) {
  ParseError e;
  e.kind_ = ParseErrorKind::JsonParse;
  e.path_ = std::move(path_text);
  e.line_ = line;
  e.detail_ = std::move(detail);
  return e;
}

ParseError ParseError::json_serialize(std::string error_text) {
  ParseError e;
  e.kind_ = ParseErrorKind::JsonSerialize;
  e.detail_ = std::move(error_text);
  return e;
}

ParseError ParseError::interrupted() { return message("Run interrupted."); }

ParseError ParseError::message(std::string text) {
  ParseError e;
  e.kind_ = ParseErrorKind::Message;
  e.detail_ = std::move(text);
  return e;
}

std::string ParseError::text() const {
  switch (kind_) {
    case ParseErrorKind::Io:
      return "I/O error at " + path_ + ": " + detail_;
    case ParseErrorKind::JsonParse:
      return "JSON parse error at " + path_ + " line " + std::to_string(line_) + ": " + detail_;
    case ParseErrorKind::JsonSerialize:
      return "JSON serialization error: " + detail_;
    case ParseErrorKind::Message:
      break;
  }
  return detail_;
}

}  // namespace vt
