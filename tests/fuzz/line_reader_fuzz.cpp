// The line reader and the record loop over arbitrary bytes: every line that
// is not blank reaches the handler or gets a diagnostic, the digest is that of
// the whole input, and a strict run stops exactly when a lenient one reports
// an error.
#include <openssl/evp.h>

#include "fuzz_support.hpp"
#include "jsonl/record_loop.hpp"

namespace {

std::string sha256_hex(const std::uint8_t* data, std::size_t size) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) != 1) fuzz::violated("EVP_Digest", "");
  static const char* hex = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += hex[digest[i] >> 4];
    text += hex[digest[i] & 15];
  }
  return text;
}

vt::Result<vt::FileRecords> read(const std::filesystem::path& path, std::uint64_t limit, bool strict) {
  vt::ParseOptions options;
  options.max_line_size = limit;
  options.strict = strict;
  // One event per record, naming its line.
  const vt::RecordHandler handler = [](vt::JsonView, std::uint64_t line, const std::string& relative,
                                       vt::RecordSink& sink) {
    vt::Event event;
    event.source.relative_path = relative;
    event.source.line_number = line;
    sink.events.push_back(std::move(event));
  };
  return vt::read_jsonl_records(path, path.parent_path(), options, vt::ArtifactKind::History, handler);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = fuzz::write_input("lines.jsonl", data, size);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string digest = sha256_hex(data, size);
  for (std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{24}}) {
    auto lenient = read(path, limit, false);
    FUZZ_CHECK(lenient.has_value(), lenient ? "" : lenient.error().text());
    FUZZ_CHECK(lenient->sha256 == digest, "digest of the whole input");
    fuzz::check_lines_accounted(bytes, lenient->events, lenient->diagnostics, limit);
    bool any_error = false;
    for (const vt::Diagnostic& d : lenient->diagnostics) any_error |= d.severity == vt::Severity::Error;
    auto strict = read(path, limit, true);
    FUZZ_CHECK(strict.has_value() == !any_error, "strict run stops exactly at an error");
    if (strict) FUZZ_CHECK(strict->events.size() == lenient->events.size(), "strict run keeps every record");
  }
  return 0;
}
