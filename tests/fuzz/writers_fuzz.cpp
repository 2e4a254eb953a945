// The three writers over whatever the readers make of arbitrary bytes (the
// first byte picks the reader): the JSON document parses back to the report,
// each JSON line to its event, and every rendering is the same on a second
// run. Raw records and content are kept so that arbitrary values reach them.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool history = (data[0] & 1) != 0;
  const auto path = fuzz::write_input(history ? ".codex/history.jsonl" : ".codex/sessions/rollout-x.jsonl",
                                      data + 1, size - 1);
  vt::ParseOptions options;
  options.input_kind = history ? vt::InputKind::CodexHistory : vt::InputKind::CodexSession;
  options.include_raw = true;
  options.include_content = true;
  auto report = fuzz::run_twice(path, options);
  FUZZ_CHECK(report.has_value(), report ? "" : report.error().text());
  fuzz::check_renderings(*report);
  const std::string csv = fuzz::render(*report, fuzz::Rendering::Csv);
  FUZZ_CHECK(csv.starts_with("schema_version,"), "CSV header");
  FUZZ_CHECK(!vt::find_utf8_error(csv), "CSV is UTF-8");
  return 0;
}
