// STUB: replaced by the driver work.
#include "core/driver.hpp"

namespace vt {

Result<Report> run(const std::string&, const ParseOptions&) { return Report{}; }
Result<Report> finalize_report(std::vector<Event> events, std::vector<Diagnostic> diagnostics,
                               bool) {
  return Report{std::move(events), std::move(diagnostics)};
}

}  // namespace vt
