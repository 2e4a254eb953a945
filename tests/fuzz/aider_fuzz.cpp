// An Aider file of arbitrary bytes through the whole run, the first byte
// picking which (chat log, input history, LLM log): the run never fails, the
// renderings agree with the report, a second run renders the same bytes, and
// no line is lost. Aider's files hold blocks, not records, so a line is
// accounted for when a diagnostic names it, when it comes before the file's
// first header (and a diagnostic says so), or when the event of the block it
// lies in (the last event starting at or before it) holds its text.
#include <algorithm>
#include <map>

#include "fuzz_support.hpp"

namespace {

enum class File { Chat, Input, Llm };

constexpr std::string_view kLaunch = "# aider chat started at ";

std::string_view without_cr(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

bool is_header(File file, std::string_view line) {
  switch (file) {
    case File::Chat: return line.starts_with(kLaunch);
    case File::Input: return true;  // no header needed: stray lines are diagnosed one by one
    case File::Llm: return line.starts_with("TO LLM ") || line.starts_with("LLM RESPONSE ");
  }
  return false;
}

// What of a line the event of its block must hold; absent when the line
// must start an event itself.
std::optional<std::string_view> core_of(File file, std::string_view line) {
  switch (file) {
    case File::Chat: {
      if (line.starts_with(kLaunch)) return line.substr(2);
      // A prompt's marker (with its trailing blanks, or without them in a
      // launch whose blanks were stripped) or a status line's.
      const bool prompt = line.starts_with("####") && (line.size() == 4 || line[4] == ' ');
      if (prompt || line.starts_with("> ") || line == ">") {
        line.remove_prefix(std::min<std::size_t>(prompt ? 5 : 2, line.size()));
        if (line.ends_with("  ")) line.remove_suffix(2);
      }
      return line;
    }
    case File::Input:
      if (line.starts_with("# ")) return std::nullopt;
      return line.starts_with('+') ? line.substr(1) : line;
    case File::Llm:
      if (is_header(File::Llm, line)) return std::nullopt;
      if (line.starts_with("ASSISTANT ")) return line.substr(10);
      return line == "ASSISTANT" ? std::string_view() : line;
  }
  return line;
}

void check_blocks_accounted(File file, std::string_view data, const vt::Report& report, std::uint64_t limit) {
  std::map<std::uint64_t, std::string> block_text;  // start line → the texts of the events starting there
  for (const vt::Event& e : report.events) {
    if (e.source.line_number) block_text[*e.source.line_number] += e.message ? e.message->str() + "\n" : "\n";
  }
  std::set<std::uint64_t> diagnosed;
  bool before_header_said = false;
  for (const vt::Diagnostic& d : report.diagnostics) {
    if (d.source && d.source->line_number) diagnosed.insert(*d.source->line_number);
    before_header_said = before_header_said || d.message.starts_with("Lines ");
  }
  const std::vector<std::string_view> lines = fuzz::split_lines(data);
  bool header_seen = false;
  for (std::uint64_t number = 1; number <= lines.size(); ++number) {
    const std::string_view line = without_cr(lines[number - 1]);
    const std::string where = "line " + std::to_string(number);
    const bool readable = (limit == 0 || lines[number - 1].size() <= limit) && !vt::find_utf8_error(lines[number - 1]);
    if (!readable) {
      FUZZ_CHECK(diagnosed.count(number), where + " unreadable and not reported");
      continue;
    }
    header_seen = header_seen || is_header(file, line);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (diagnosed.count(number)) continue;
    if (!header_seen) {
      FUZZ_CHECK(before_header_said, where + " before the first header, not reported");
      continue;
    }
    const auto core = core_of(file, line);
    if (!core) {
      FUZZ_CHECK(block_text.count(number), where + " starts no event");
      continue;
    }
    auto block = block_text.upper_bound(number);
    FUZZ_CHECK(block != block_text.begin(), where + " lies in no block");
    --block;
    FUZZ_CHECK(block->second.find(*core) != std::string::npos, where + " was lost");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static constexpr const char* kNames[] = {"place/.aider.chat.history.md", "place/.aider.input.history",
                                           "place/.aider.llm.history"};
  const File file = static_cast<File>(data[0] % 3);
  const auto path = fuzz::write_input(kNames[static_cast<int>(file)], data + 1, size - 1);
  vt::ParseOptions options;
  options.reading = vt::Reading::Full;
  options.max_line_size = (size & 4) != 0 ? 256 : vt::kDefaultMaxLineSize;
  auto report = fuzz::run_twice(path, options);
  FUZZ_CHECK(report.has_value(), report ? "" : report.error().text());
  check_blocks_accounted(file, {reinterpret_cast<const char*>(data + 1), size - 1}, *report, options.max_line_size);
  fuzz::check_renderings(*report);
  return 0;
}
