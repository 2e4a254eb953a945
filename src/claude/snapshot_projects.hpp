// The working directory of file snapshots, taken from the prompts of their
// session when that session ran in exactly one project.
#pragma once

#include <vector>

#include "core/records.hpp"

namespace vt::claude {

void assign_snapshot_projects(const std::vector<Event>& history, std::vector<Event>& snapshots);

}  // namespace vt::claude
