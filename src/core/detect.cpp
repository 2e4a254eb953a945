#include "core/detect.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "core/path_text.hpp"

namespace vt {

namespace {

struct Candidate {
  const Adapter* adapter;
  InputKind kind;
  std::uint8_t priority;
};

}  // namespace

Result<Detection> detect(const std::filesystem::path& path, bool follow_symlinks, Reading reading) {
  std::vector<Candidate> candidates;
  for (const Adapter& adapter : adapter_table(reading)) {
    Result<std::optional<InputKind>> answer = adapter.probe(path, follow_symlinks);
    if (!answer) return fail(std::move(answer.error()));
    if (!*answer) continue;
    const InputKind kind = **answer;
    candidates.push_back({&adapter, kind, adapter.detection_priority(path, kind)});
  }
  if (candidates.empty()) {
    return fail(ParseError::message("Cannot auto-detect a supported artifact at '" +
                                    path_text(path) + "'."));
  }
  std::uint8_t best = 0;
  for (const Candidate& c : candidates) best = std::max(best, c.priority);
  std::vector<const Candidate*> winners;
  for (const Candidate& c : candidates) {
    if (c.priority == best) winners.push_back(&c);
  }
  if (winners.size() == 1) return Detection{winners.front()->adapter, winners.front()->kind};
  std::string providers;
  for (const Candidate* c : winners) {
    if (!providers.empty()) providers += ", ";
    providers += variant_name(c->adapter->provider);
  }
  return fail(ParseError::message("Artifact detection is ambiguous at '" + path_text(path) +
                                  "': " + providers + "."));
}

}  // namespace vt
