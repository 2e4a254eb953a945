#include "cli/diagnostic_owners.hpp"

#include <algorithm>
#include <map>

namespace vt::cli {

namespace {

std::string session_key(const Event& event) {
  std::string key(1, static_cast<char>(event.provider));
  key.append(*event.session_id);
  return key;
}

}  // namespace

DiagnosticOwners::DiagnosticOwners(const std::vector<Event>& events, const std::vector<Diagnostic>& diagnostics) {
  // The places diagnostics name, and what the events say about each.
  struct FileOwner {
    std::optional<std::string> session;  // the one session of the file's events
    bool several = false;
    const Event* first = nullptr;
  };
  std::unordered_map<std::string, FileOwner> files;
  std::map<std::pair<std::string, std::uint64_t>, const Event*> lines;
  for (const Diagnostic& d : diagnostics) {
    if (!d.source) continue;
    files.try_emplace(d.source->relative_path.str());
    if (d.source->line_number) lines.try_emplace({d.source->relative_path.str(), *d.source->line_number}, nullptr);
  }
  if (files.empty()) return;
  for (const Event& event : events) {
    if (!event.session_id) continue;
    const auto file = files.find(event.source.relative_path.str());
    if (file == files.end()) continue;
    FileOwner& owner = file->second;
    if (!owner.first) {
      owner.first = &event;
      owner.session = session_key(event);
    } else if (*owner.session != session_key(event)) {
      owner.several = true;
    }
    if (event.source.line_number) {
      const auto line = lines.find({file->first, *event.source.line_number});
      if (line != lines.end() && line->second == nullptr) line->second = &event;
    }
  }
  for (const Diagnostic& d : diagnostics) {
    if (!d.source) continue;
    const Event* owner = nullptr;
    if (d.source->line_number) owner = lines.at({d.source->relative_path.str(), *d.source->line_number});
    if (owner == nullptr) {
      const FileOwner& file = files.at(d.source->relative_path.str());
      if (!file.several) owner = file.first;
    }
    if (owner == nullptr) continue;
    std::vector<Place>& places = places_[owner->event_id.str()];
    Place place{d.source->relative_path.str(), d.source->line_number};
    if (std::find(places.begin(), places.end(), place) == places.end()) places.push_back(std::move(place));
  }
}

const std::vector<DiagnosticOwners::Place>* DiagnosticOwners::places_of(std::string_view event_id) const {
  if (places_.empty()) return nullptr;
  const auto found = places_.find(std::string(event_id));
  return found == places_.end() ? nullptr : &found->second;
}

}  // namespace vt::cli
