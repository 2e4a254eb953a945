#include "jsonl/whole_document.hpp"

#include "core/input_files.hpp"
#include "jsonl/line_reader.hpp"

namespace vt {

WholeDocument read_whole(JsonlReader& reader, std::uint64_t limit) {
  WholeDocument document;
  LineView line;
  while (reader.next_view(line)) {
    if (line.failed) {
      if (!document.failure) document.failure = std::string(line.error);
      continue;
    }
    document.size += line.byte_length + (document.size == 0 ? 0 : 1);
    if (line.over_limit || (limit != 0 && document.size > limit)) {
      document.too_large = true;
      std::string().swap(document.text);
    }
    if (document.too_large || document.failure) continue;
    if (line.line_number > 1) document.text.push_back('\n');
    document.text.append(line.text);
  }
  return document;
}

Result<WholeDocument> read_whole_document(const std::filesystem::path& path, const ParseOptions& options) {
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  auto reader = JsonlReader::open(path, options.max_line_size, StoredAs::Plain, options.progress);
  if (!reader) return fail(std::move(reader.error()));
  if (options.inputs != nullptr) options.inputs->note(path);
  reader->stop_when(options.cancel);
  WholeDocument document = read_whole(*reader, options.max_line_size);
  if (cancel_requested(options)) return fail(ParseError::interrupted());
  document.sha256 = reader->finish();
  return document;
}

std::string too_large_message(std::string_view what, const WholeDocument& document, std::uint64_t limit) {
  return std::string(what) + " size " + std::to_string(document.size) + " exceeds max_line_size " +
         std::to_string(limit) + ", skipping.";
}

}  // namespace vt
