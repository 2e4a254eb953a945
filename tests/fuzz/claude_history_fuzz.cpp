// A Claude Code prompt history of arbitrary bytes through the whole run: no
// line is lost, the renderings agree with the report, and a second run
// renders the same bytes.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = fuzz::write_input(".claude/history.jsonl", data, size);
  vt::ParseOptions options;
  options.input_kind = vt::InputKind::History;
  options.include_raw = (size & 1) != 0;
  options.include_content = (size & 2) != 0;
  auto report = fuzz::run_twice(path, options);
  FUZZ_CHECK(report.has_value(), report ? "" : report.error().text());
  fuzz::check_lines_accounted({reinterpret_cast<const char*>(data), size}, report->events,
                              report->diagnostics, options.max_line_size);
  fuzz::check_renderings(*report);
  return 0;
}
