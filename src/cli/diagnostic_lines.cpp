#include "cli/diagnostic_lines.hpp"

#include <algorithm>

#include "cli/line_output.hpp"
#include "cli/terminal_text.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/record_json.hpp"

namespace vt::cli {

std::string diagnostic_line(const Diagnostic& diagnostic) {
  std::string line = std::string(wire_name(diagnostic.severity)) + " " +
                     std::string(wire_name(diagnostic.code)) + " ";
  if (diagnostic.source) {
    line += diagnostic.source->relative_path;
    if (diagnostic.source->line_number) line += ":" + std::to_string(*diagnostic.source->line_number);
  } else {
    line += "-";
  }
  return terminal_text(line + ": " + diagnostic.message);
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
