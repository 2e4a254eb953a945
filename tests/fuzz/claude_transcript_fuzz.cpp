// A Claude Code session transcript of arbitrary bytes through the whole
// run: no line is lost, the renderings agree with the report, and a second
// run renders the same bytes.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = fuzz::write_input(".claude/projects/-work/6f1e0c2a-1111-4222-8333-944455556666.jsonl", data, size);
  vt::ParseOptions options;
  options.input_kind = vt::InputKind::Transcript;
  options.reading = vt::Reading::Full;
  options.include_raw = (size & 2) != 0;
  options.include_content = (size & 1) != 0;
  fuzz::check_whole_run(path, options, data, size);
  return 0;
}
