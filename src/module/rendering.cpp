#include "module/rendering.hpp"

namespace vtpy {

std::optional<Format> format_named(std::string_view name) {
  if (name == "json") return Format::Json;
  if (name == "jsonl") return Format::Jsonl;
  if (name == "csv") return Format::Csv;
  return std::nullopt;
}

vt::Status render(const vt::Report& report, const RenderOptions& options, vt::ByteSink& sink) {
  switch (options.format) {
    case Format::Json: return vt::write_json_report(report, options.pretty, sink);
    case Format::Jsonl: return vt::write_jsonl_timeline(report, sink, options.threads);
    case Format::Csv: return vt::write_csv_timeline(report, options.csv, sink);
  }
  return vt::fail(vt::ParseError::message("unknown output format"));
}

std::size_t rendering_size_hint(const vt::Report& report) {
  constexpr std::size_t kPerEvent = 2048, kPerDiagnostic = 512;
  std::size_t total = 4096 + report.diagnostics.size() * kPerDiagnostic;
  for (const vt::Event& event : report.events) {
    total += kPerEvent;
    if (event.message) total += 2 * event.message->size();
    if (event.artifact && event.artifact->content) total += 2 * event.artifact->content->size();
  }
  return total;
}

}  // namespace vtpy
