#include "claude/snapshot_projects.hpp"

#include <string>
#include <string_view>
#include <unordered_map>

namespace vt::claude {

namespace {

// The one project of a session, or nothing once a second one is seen.
struct SessionProject {
  std::string_view project;
  bool unique = true;
};

}  // namespace

void assign_snapshot_projects(const std::vector<Event>& history, std::vector<Event>& snapshots) {
  std::unordered_map<std::string_view, SessionProject> projects;
  for (const Event& e : history) {
    if (e.event_type != EventType::PromptInput || !e.session_id || !e.working_directory) continue;
    const auto [slot, added] = projects.try_emplace(*e.session_id, SessionProject{*e.working_directory});
    if (!added && slot->second.project != *e.working_directory) slot->second.unique = false;
  }
  if (projects.empty()) return;
  for (Event& snapshot : snapshots) {
    if (!snapshot.session_id) continue;
    const auto found = projects.find(*snapshot.session_id);
    if (found != projects.end() && found->second.unique) snapshot.working_directory = std::string(found->second.project);
  }
}

}  // namespace vt::claude
