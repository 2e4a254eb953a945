// The single error that ends a run, and the result type every fallible call
// of the core returns. Failures travel as values; nothing inside the core
// throws across a function boundary.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <system_error>

namespace vt {

enum class ParseErrorKind : std::uint8_t { Io, JsonParse, JsonSerialize, Message };

class ParseError {
 public:
  // "I/O error at {path}: {error}"
  static ParseError io(const std::filesystem::path& path, const std::error_code& error);
  static ParseError io(const std::filesystem::path& path, std::string error_text);
  // "JSON parse error at {path} line {line}: {message}"
  static ParseError json_parse(std::string path_text, std::uint64_t line, std::string detail);
  // "JSON serialization error: {error}"
  static ParseError json_serialize(std::string error_text);
  // A finished text, rendered unchanged.
  static ParseError message(std::string text);
  // "Run interrupted.": the caller asked the run to stop (ParseOptions::cancel).
  static ParseError interrupted();

  ParseErrorKind kind() const { return kind_; }
  // The text the error renders to (and the Python exception carries).
  std::string text() const;

 private:
  ParseErrorKind kind_ = ParseErrorKind::Message;
  std::string path_;
  std::string detail_;
  std::uint64_t line_ = 0;
};

template <class T>
using Result = std::expected<T, ParseError>;
using Status = std::expected<void, ParseError>;

inline std::unexpected<ParseError> fail(ParseError e) { return std::unexpected(std::move(e)); }

}  // namespace vt
