// Which writer renders a report for each output function, and with which
// options: plain C++, run with the interpreter lock released.
#pragma once

#include <optional>
#include <string_view>

#include "core/parse_error.hpp"
#include "core/records.hpp"
#include "output/sink.hpp"
#include "output/writers.hpp"

namespace vtpy {

enum class Format { Json, Jsonl, Csv };

struct RenderOptions {
  Format format = Format::Json;
  bool pretty = true;       // JSON only
  vt::CsvOptions csv{};     // CSV only
  unsigned threads = 1;     // JSON lines only: rendering threads
};

// "json", "jsonl" or "csv", compared exactly; nothing for any other text.
std::optional<Format> format_named(std::string_view name);

vt::Status render(const vt::Report& report, const RenderOptions& options, vt::ByteSink& sink);

// A generous guess at the size of a rendering of `report`, so that an
// in-memory rendering is allocated once instead of grown and copied;
// reserved pages that are never written cost no memory.
std::size_t rendering_size_hint(const vt::Report& report);

}  // namespace vtpy
