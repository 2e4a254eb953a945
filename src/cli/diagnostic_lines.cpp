#include "cli/diagnostic_lines.hpp"

#include <algorithm>

#include "cli/line_output.hpp"
#include "core/path_text.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/record_json.hpp"

namespace vt::cli {

namespace {

// Keeps a listing line on one line whatever the texts hold.
std::string one_line(std::string text) {
  text = utf8_lossy(text);
  std::replace_if(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
  return text;
}

}  // namespace

std::string diagnostic_line(const Diagnostic& diagnostic) {
  std::string line = std::string(wire_name(diagnostic.severity)) + " " +
                     std::string(wire_name(diagnostic.code)) + " ";
  if (diagnostic.source) {
    line += diagnostic.source->relative_path;
    if (diagnostic.source->line_number) line += ":" + std::to_string(*diagnostic.source->line_number);
  } else {
    line += "-";
  }
  return one_line(line + ": " + diagnostic.message);
}

std::string diagnostic_listing(const std::vector<Diagnostic>& diagnostics, std::size_t shown) {
  std::string out;
  const std::size_t count = std::min(shown, diagnostics.size());
  for (std::size_t i = 0; i < count; ++i) out += diagnostic_line(diagnostics[i]) + "\n";
  if (diagnostics.size() > count) {
    const std::size_t more = diagnostics.size() - count;
    out += "... and " + std::to_string(more) + (more == 1 ? " more diagnostic" : " more diagnostics") +
           " (--diagnostics FILE writes them all)\n";
  }
  return out;
}

Status write_diagnostics_jsonl(const std::vector<Diagnostic>& diagnostics, ByteSink& sink) {
  BufferedSink out(sink);
  JsonLayout j(out, false);  // one for all lines: no allocation per record
  for (const Diagnostic& diagnostic : diagnostics) {
    put_diagnostic_object(j, diagnostic);
    out.push_back('\n');
    if (out.failed()) break;
  }
  return finish_lines(out);
}

}  // namespace vt::cli
