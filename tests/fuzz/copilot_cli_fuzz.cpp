// A Copilot CLI session file of arbitrary bytes through the whole run, in
// the shape the first byte picks: an event log (in a session folder or flat)
// with every line accounted for, or a legacy session document, workspace
// file, command history or rewind index (each read whole). The run never
// fails, the renderings agree with the report, and a second run renders the
// same bytes.
#include "fuzz_support.hpp"

namespace {

constexpr const char* kSession = ".copilot/session-state/0c1a2b3c-1111-4222-8333-944455556666";

struct Shape {
  std::string path;
  bool lines;  // read line by line (every line accounted), else whole
};

Shape shape_of(std::uint8_t pick) {
  switch (pick % 6) {
    case 0: return {std::string(kSession) + "/events.jsonl", true};
    case 1: return {std::string(kSession) + ".jsonl", true};
    case 2: return {".copilot/history-session-state/session_0c1a2b3c_1759669955294.json", false};
    case 3: return {std::string(kSession) + "/workspace.yaml", false};
    case 4: return {".copilot/command-history-state.json", false};
    default: return {std::string(kSession) + "/rewind-snapshots/index.json", false};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Shape shape = shape_of(data[0]);
  const auto path = fuzz::write_input(shape.path, data + 1, size - 1);
  vt::ParseOptions options;
  options.reading = vt::Reading::Full;
  options.include_raw = (size & 2) != 0;
  options.max_line_size = (size & 4) != 0 ? 4096 : vt::kDefaultMaxLineSize;
  if (shape.lines) {
    fuzz::check_whole_run(path, options, data + 1, size - 1);
    return 0;
  }
  auto report = fuzz::run_twice(path, options);
  FUZZ_CHECK(report.has_value(), report ? "" : report.error().text());
  // A document that does not read whole is named in a diagnostic.
  FUZZ_CHECK(!report->events.empty() || !report->diagnostics.empty() || size < 3, "document passed over in silence");
  fuzz::check_renderings(*report);
  return 0;
}
