// A Codex rollout file of arbitrary bytes through the whole run (either
// reading): no line is lost, the renderings agree with the report, and a
// second run renders the same bytes.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = fuzz::write_input(".codex/sessions/2025/01/01/rollout-2025-01-01T00-00-00-"
                                      "0199a213-81c0-7800-8aa1-bbab2a035a53.jsonl",
                                      data, size);
  vt::ParseOptions options;
  options.input_kind = vt::InputKind::CodexSession;
  options.include_raw = true;
  options.include_content = (size & 1) != 0;
  // Half the inputs in the full reading, whose readers fill the facts.
  options.reading = (size & 2) != 0 ? vt::Reading::Full : vt::Reading::Documented;
  fuzz::check_whole_run(path, options, data, size);
  return 0;
}
