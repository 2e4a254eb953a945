// What the tests of the agents' readers share: a path run in the full
// reading (a failed run reported), absent texts and amounts shown as "-",
// an event found by its id, and a report listed line by line.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/driver.hpp"

namespace vt_test {

inline vt::Report run_full(const std::filesystem::path& path) {
  vt::ParseOptions options;
  options.reading = vt::Reading::Full;
  auto report = vt::run(path.string(), options);
  EXPECT_TRUE(report.has_value()) << (report ? "" : report.error().text());
  return report ? std::move(*report) : vt::Report{};
}

inline std::string text(const vt::OptionalShared& value) { return value ? value->str() : "-"; }

inline std::string amount(const std::optional<std::uint64_t>& n) { return n ? std::to_string(*n) : "-"; }

inline const vt::Event* by_id(const vt::Report& report, std::string_view id) {
  for (const vt::Event& event : report.events) {
    if (event.event_id.view() == id) return &event;
  }
  return nullptr;
}

// `shown(event, report)` for each event, then "diagnostic: {message}" for each diagnostic.
template <class Shown>
std::vector<std::string> listed(const vt::Report& report, Shown shown) {
  std::vector<std::string> out;
  for (const vt::Event& e : report.events) out.push_back(shown(e, report));
  for (const vt::Diagnostic& d : report.diagnostics) out.push_back("diagnostic: " + d.message);
  return out;
}

}  // namespace vt_test
